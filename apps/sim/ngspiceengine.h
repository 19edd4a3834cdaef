#pragma once

// The ngspice shared library, one instance per process.
//
// ngspice keeps global state and is not re-entrant, so the whole process
// shares one engine and every run loads its circuit, runs it, lets the
// caller read and compute vectors in its result (ngspice's own "let" and
// "meas"), and removes it all again ("remcirc", "destroy all", and a null
// command, which clears the control structures ngspice keeps of every
// command). The library is opened with dlopen rather
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

struct SimVector
{
    std::vector<std::complex<double>> values;  // real vectors have no imaginary part
    bool complex = false;
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

    // Loads the netlist and runs its analysis; its result stays until
    // finish(). False with the reason (errorLines() holds what ngspice said),
    // and nothing stays loaded.
    bool run(const QStringList &netlist, QString *error);
    // ngspice's error lines of the last failure of run().
    const QStringList &errorLines() const { return m_errorLines; }
    // Whether the last run() left a result (ngspice answers a failed
    // simulation, a singular matrix say, without an error code).
    bool hasResult();
    // Makes the result plot holding vector current (noise has two plots:
    // the spectrum with "frequency", the totals). False when none holds it.
    bool selectPlotWith(const QString &vector);
    // A vector of the current plot; false when there is none of that name.
    bool vector(const QString &name, SimVector &out);
    // The current plot's scale: time, frequency or the swept quantity; empty for op.
    std::vector<double> scale();
    // Evaluates an ngspice vector expression in the current plot ("let").
    // False with ngspice's message.
    bool evaluate(const QString &expression, SimVector &out, QString *why);
    // A .meas line's rest over the current plot, analysis "tran", "ac" or
    // "dc". False with ngspice's message; noData tells a measurement that
    // found nothing in the data (out of interval) from one ngspice refused.
    bool measure(const QString &analysis, const QString &rest, double &out, QString *why, bool *noData);
    // Removes the circuit and its results.
    void finish();

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
    bool command(const QString &text);
    QStringList m_errorLines;
    bool m_capturing = false;   // evaluate/measure: every line ngspice prints
    QStringList m_captured;
    bool m_loaded = false;
    int m_temporaries = 0;
    qint64 m_runs = 0;
    qint64 m_reloads = 0;
};
