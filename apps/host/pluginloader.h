#pragma once

// Loads the plug-in library the way the circuit-design host does: dlopen,
// GetLibraryVersion must answer 100, then RegisterLibraryContents with the
// host's plug-in manager. The library stays loaded for the life of the
// process (its objects and Qt meta-objects live in it).

#include <QString>
#include <QStringList>

class HostPluginManager;

class PluginLoader
{
public:
    static constexpr int kExpectedLibraryVersion = 100;
    static constexpr const char *kPluginObjectName = "OptimHelmdeckPluginIFC";

    // The library next to the host executable.
    static QString defaultPath();

    // Loads and registers. Every problem is collected in problems() (the
    // library's own failure reports included); answers whether the plug-in
    // object is registered afterwards.
    bool load(const QString &path, HostPluginManager *manager);

    bool isLoaded() const { return m_handle != nullptr; }
    bool isRegistered() const { return m_registered; }
    int libraryVersion() const { return m_version; }
    QString path() const { return m_path; }
    QStringList problems() const { return m_problems; }

private:
    void *m_handle = nullptr;
    bool m_registered = false;
    int m_version = -1;
    QString m_path;
    QStringList m_problems;
};
