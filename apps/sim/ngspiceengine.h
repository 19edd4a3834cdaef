#pragma once

// The ngspice shared library, one instance per process.
//
// ngspice keeps global state and is not re-entrant, so the whole process
// shares one engine and every run loads its circuit, runs it and removes it
// again ("remcirc", "destroy all"). The library is opened with dlopen rather
// than linked: after a netlist error ngspice declares itself unrecoverable
// ("awaits to be detached"), and the only way back is to unload and load the
// library again, which the engine does before the next run. Everything
// ngspice prints goes to a callback; its error lines are kept for the
// failure message and nothing reaches the terminal.

#include <QHash>
#include <QString>
#include <QStringList>

#include <complex>
#include <vector>

struct SimAcResult
{
    std::vector<double> frequency;
    // Node voltages by lower-case node name.
    QHash<QString, std::vector<std::complex<double>>> voltages;
};

class NgspiceEngine
{
public:
    static NgspiceEngine &instance();

    // The library file to open; default "libngspice.so.0". Takes effect at
    // the next (re)load.
    void setLibrary(const QString &path);
    QString library() const { return m_library; }

    // Loads and initializes the library (once; later calls answer the first
    // result). False with a reason when ngspice cannot be used.
    bool initialize(QString *error);
    bool isReady() const { return m_handle != nullptr; }

    // Runs the netlist's AC analysis and takes the frequency vector and the
    // voltages of nodes. False with the ngspice messages as the reason.
    bool runAc(const QStringList &netlist, const QStringList &nodes, SimAcResult &result, QString *error);

    qint64 runCount() const { return m_runs; }
    qint64 reloadCount() const { return m_reloads; }

    NgspiceEngine(const NgspiceEngine &) = delete;
    NgspiceEngine &operator=(const NgspiceEngine &) = delete;

private:
    NgspiceEngine() = default;
    ~NgspiceEngine();

    bool load(QString *error);
    void unload();
    QString messages() const;

    static int onSendChar(char *text, int id, void *self);
    static int onSendStat(char *text, int id, void *self);
    static int onControlledExit(int status, bool immediate, bool quit, int id, void *self);
    static int onBackgroundThread(bool running, int id, void *self);

    struct Api;
    Api *m_api = nullptr;
    void *m_handle = nullptr;
    QString m_library = QStringLiteral("libngspice.so.0");
    bool m_initTried = false;
    QString m_initError;
    bool m_needsReload = false;
    QStringList m_errorLines;
    qint64 m_runs = 0;
    qint64 m_reloads = 0;
};
