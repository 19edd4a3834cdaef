#include "pluginloader.h"

#include "pluginmanager/hostpluginmanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace {

using GetLibraryVersionFn = int (*)();
using RegisterLibraryContentsFn = void (*)(PluginManagerIFC *);

} // namespace

QString PluginLoader::defaultPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("libOptimHelmdeck.so"));
}

bool PluginLoader::load(const QString &path, HostPluginManager *manager)
{
    m_path = path;
    m_problems.clear();
    m_registered = false;
    if (m_handle) {
        m_problems.append(QStringLiteral("a plug-in library is already loaded"));
        return false;
    }
    if (!manager) {
        m_problems.append(QStringLiteral("no plug-in manager"));
        return false;
    }
    if (!QFileInfo::exists(path)) {
        m_problems.append(QStringLiteral("plug-in library %1 not found").arg(path));
        return false;
    }
    // Resolve everything now: a library that misses a symbol fails here, not
    // in the middle of an optimization.
    void *handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        m_problems.append(QStringLiteral("cannot load %1: %2").arg(path, QString::fromLocal8Bit(why ? why : "unknown error")));
        return false;
    }
    auto version = reinterpret_cast<GetLibraryVersionFn>(dlsym(handle, "GetLibraryVersion"));
    auto registerContents = reinterpret_cast<RegisterLibraryContentsFn>(dlsym(handle, "RegisterLibraryContents"));
    if (!version || !registerContents) {
        m_problems.append(QStringLiteral("%1 does not export GetLibraryVersion and RegisterLibraryContents").arg(path));
        dlclose(handle);
        return false;
    }
    m_version = version();
    if (m_version != kExpectedLibraryVersion) {
        m_problems.append(QStringLiteral("%1 reports library version %2; this host loads version %3")
                              .arg(path)
                              .arg(m_version)
                              .arg(kExpectedLibraryVersion));
        dlclose(handle);
        return false;
    }
    m_handle = handle;

    const qsizetype reportedBefore = manager->failures().size();
    registerContents(manager);
    const QStringList failures = manager->failures();
    for (qsizetype i = reportedBefore; i < failures.size(); ++i)
        m_problems.append(QStringLiteral("the plug-in reported: %1").arg(failures.at(i)));
    m_registered = manager->pluginObject(kPluginObjectName) != nullptr;
    if (!m_registered)
        m_problems.append(QStringLiteral("the plug-in did not register %1").arg(QLatin1String(kPluginObjectName)));
    return m_registered;
}
