#include "hostpluginmanager.h"

#include "hostifc/kuvoifc.h"
#include "hostifc/moxifc.h"

#include <cstdio>

namespace {
HostPluginManager *s_current = nullptr;
}

HostPluginManager::HostPluginManager() : m_previous(s_current)
{
    s_current = this;
}

HostPluginManager::~HostPluginManager()
{
    if (s_current == this) {
        s_current = m_previous;
    } else {
        // Someone made after us is current; let it fall back past us.
        for (HostPluginManager *m = s_current; m; m = m->m_previous) {
            if (m->m_previous == this) {
                m->m_previous = m_previous;
                break;
            }
        }
    }
}

HostPluginManager *HostPluginManager::current()
{
    return s_current;
}

void HostPluginManager::makeCurrent()
{
    if (s_current == this)
        return;
    // Unlink from wherever we are in the chain, then go on top.
    for (HostPluginManager *m = s_current; m; m = m->m_previous) {
        if (m->m_previous == this) {
            m->m_previous = m_previous;
            break;
        }
    }
    m_previous = s_current;
    s_current = this;
}

void *HostPluginManager::getInterface(const char *name)
{
    if (!name)
        return nullptr;
    return m_interfaces.value(QByteArray(name), nullptr);
}

bool HostPluginManager::registerPluginObject(const char *interfaceName, PluginObjectIFC *object)
{
    if (!interfaceName || !*interfaceName || !object)
        return false;
    m_objects.insert(QByteArray(interfaceName), object);
    return true;
}

void HostPluginManager::reportFailure(const char *text)
{
    const QString failure = QString::fromUtf8(text ? text : "");
    m_failures.append(failure);
    if (m_echo)
        std::fprintf(stderr, "plug-in failure: %s\n", failure.toLocal8Bit().constData());
}

void HostPluginManager::setMox(MoxIFC *mox)
{
    setInterface("MOX", mox);
}

void HostPluginManager::setKuvo(KuvoIFC *kuvo)
{
    setInterface("KUVO", kuvo);
}

void HostPluginManager::setInterface(const QByteArray &name, void *pointer)
{
    if (pointer)
        m_interfaces.insert(name, pointer);
    else
        m_interfaces.remove(name);
}

PluginObjectIFC *HostPluginManager::pluginObject(const QByteArray &interfaceName) const
{
    return m_objects.value(interfaceName, nullptr);
}

bool HostPluginManager::deliverMessage(const QByteArray &interfaceName, int sender, int kind, const QByteArray &text)
{
    PluginObjectIFC *object = pluginObject(interfaceName);
    if (!object)
        return false;
    object->handleMessage(sender, kind, text);
    return true;
}

namespace plugin_manager {

void *GetInterface(const char *name)
{
    HostPluginManager *manager = HostPluginManager::current();
    return manager ? manager->getInterface(name) : nullptr;
}

} // namespace plugin_manager
