#pragma once

// Points every QSettings of the test process (and QStandardPaths, in test
// mode) at a temporary folder for the fixture's lifetime. Make it a member of
// the test object, so that it exists before the first QSettings object.

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

class IsolatedSettings
{
public:
    IsolatedSettings()
    {
        QStandardPaths::setTestModeEnabled(true);
        for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
            for (QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
                QSettings::setPath(format, scope, m_dir.path());
    }
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    // Forgets everything the helmdeck stored so far.
    static void clear() { QSettings(QStringLiteral("Brannoc"), QStringLiteral("ZEB")).clear(); }

private:
    QTemporaryDir m_dir;
};
