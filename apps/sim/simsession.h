#pragma once

// The simulator's side of the helmdeck protocol: one job of one or several
// optimizations (a sweep), reported to the helmdeck and steered by it.
//
// Per optimization: an OPEN_HELMDECK block with the definitions, STATUS
// INITIALIZING and RUNNING, then one report per iteration: OPTIM_ITER when
// the iteration found a better point (the report always shows the best
// point), OPTIM_NO_PROGRESS when it did not. Iterations that come faster
// than one per batch interval (50 ms by default, i.e. more than 20 per
// second) are collected and sent as one OPTIM_COMPACT_ITERS; the first
// iteration of a run, and after a pause or a finished wait, goes out at
// once. Each block waits for its reply before the next goes out. At the
// iteration limit (or on convergence) STATUS FINISHED; an interactive job
// then waits for commands.
//
// Commands: CONTINUE resumes (after a pause, or after FINISHED when the
// helmdeck raised the limit or changed something); SIMULATE <id> simulates
// the current values and answers SIM_RESULT with that command id;
// FINISH_SIMULATION ends the job (STATUS EXITED, exit 0); kind 11
// "OPTIM_HELMDECK_PAUSE[ <id>]" (relayed by the host's session process)
// pauses after the current iteration (STATUS PAUSED); VARIABLE_VALUES and
// the three definition messages replace values or definitions, and the
// optimizer restarts from them at the next CONTINUE. "OPTIM_HELMDECK_DISCONNECT"
// or the host leaving the bus ends the job (exit 0).

#include "simdesign.h"
#include "simlink.h"
#include "simoptimization.h"

#include <QElapsedTimer>

#include <memory>
#include <vector>

struct SimSessionOptions
{
    QString kuvoPath;
    QByteArray processName;         // second name on the bus, "sim-<pid>"
    QByteArray simulatorId;         // pauses naming another id are ignored; empty: every pause counts
    double maxRate = 0;             // iterations per second at most; 0: as fast as it goes
    bool interactive = true;
    int batchIntervalMs = 50;
    int rendezvousTimeoutMs = 30000;
    int ackTimeoutMs = 60000;
    quint32 seed = 4242;
    bool verbose = false;
    QStringList designWarnings;     // the circuit's lint warnings, shown with the first status
};

class SimSession
{
public:
    enum ExitCode { ExitOk = 0, ExitUsage = 1, ExitNgspice = 2, ExitBus = 3, ExitSimulation = 4, ExitLink = 5 };

    SimSession(const SimDesign &design, const SimSessionOptions &options);
    ~SimSession();

    int run();
    QString errorText() const { return m_error; }

    // The name of the OPEN_HELMDECK block. The flags are positional (third
    // word MULTI_OPT, fourth INTERACTIVE), so a single interactive
    // optimization fills the third place with SINGLE_OPT.
    static QByteArray openBlockName(bool multiOpt, bool interactive);

private:
    enum class Exit { None, Finish, Disconnect, HostGone, LinkFailed, Failed };

    struct PendingIter
    {
        int iteration = 0;
        bool improved = false;
        QString bestError;
        QStringList goalTexts;
        QStringList variableTexts;
    };

    bool runOptimization(bool last);
    void onIteration(const SimProblem::Report &report);
    void handle(const SimIncoming &in);
    void handleMessage(const SimIncoming &in);
    void pollBus();
    void waitForCommands();
    void throttle();
    void enterPause();

    bool sendStatus(int status, const QString &message);
    // Sends the block "OPTIM_HELMDECK <word>"; a failure ends the job.
    bool sendRecord(const QByteArray &word, const OptimSerializationIFC &record);
    bool sendBlockRecord(const QByteArray &name, const OptimSerializationIFC &record);
    bool sendSimResult(long commandId);
    void flush(bool force);
    void log(const QString &text) const;

    const SimDesign &m_design;
    SimSessionOptions m_options;
    SimLink m_link;
    std::unique_ptr<SimOptimization> m_opt;

    int m_status = 0;
    QString m_reason;
    long m_lastCommandId = -1;
    Exit m_exit = Exit::None;
    QString m_error;
    bool m_pauseRequested = false;
    bool m_continueRequested = false;
    bool m_restart = false;
    bool m_outputsStale = false;  // the helmdeck's outputs are not the best point's (after SIM_RESULT)

    std::vector<PendingIter> m_pending;
    QElapsedTimer m_sinceSend;  // since the last iteration message
};
