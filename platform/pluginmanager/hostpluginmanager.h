#pragma once

// The host's plug-in manager stand-in. The host fills in the interfaces it
// offers, hands the manager to the plug-in's RegisterLibraryContents, and
// afterwards finds the plug-in's object by the interface name it registered
// under, to deliver KUVO messages to it.
//
// The most recently constructed manager is the process's current one, the
// one plugin_manager::GetInterface forwards to; destroying it makes the one
// that was current before it current again.
//
// Failure reports are kept in order and echoed to stderr, one line each.

#include "hostifc/pluginmanagerifc.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

class MoxIFC;
class KuvoIFC;

class HostPluginManager : public PluginManagerIFC
{
public:
    HostPluginManager();
    ~HostPluginManager() override;
    HostPluginManager(const HostPluginManager &) = delete;
    HostPluginManager &operator=(const HostPluginManager &) = delete;

    // PluginManagerIFC
    void *getInterface(const char *name) override;
    bool registerPluginObject(const char *interfaceName, PluginObjectIFC *object) override;
    void reportFailure(const char *text) override;

    // Host side. The typed setters store the pointer exactly as the plug-in
    // will convert it back (MoxIFC* for "MOX", KuvoIFC* for "KUVO"); null
    // withdraws the interface. Neither is owned.
    void setMox(MoxIFC *mox);
    void setKuvo(KuvoIFC *kuvo);
    // Any other interface by name; the caller guarantees the pointer's type.
    void setInterface(const QByteArray &name, void *pointer);

    PluginObjectIFC *pluginObject(const QByteArray &interfaceName) const;
    // Hands a message to the object registered under interfaceName; false
    // when there is none.
    bool deliverMessage(const QByteArray &interfaceName, int sender, int kind, const QByteArray &text);

    QStringList failures() const { return m_failures; }
    // Whether reports are echoed to stderr (on by default).
    void setEchoFailures(bool echo) { m_echo = echo; }

    static HostPluginManager *current();
    void makeCurrent();

private:
    QHash<QByteArray, void *> m_interfaces;
    QHash<QByteArray, PluginObjectIFC *> m_objects;
    QStringList m_failures;
    bool m_echo = true;
    HostPluginManager *m_previous = nullptr;
};
