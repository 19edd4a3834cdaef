#pragma once

// The host process: the KUVO broker and the host's two bus clients ("tolvane"
// for the plug-in, "tolvanesess" for the session role), the plug-in manager
// with the MOX interpreter and the KUVO interface, the loaded plug-in, the
// open design, the simulators, the help window, the host window and the
// command-line modes (--eval, --console, --optimize, --screenshot).

#include "backannotation.h"
#include "designstore.h"
#include "hostsession.h"
#include "hosttrace.h"
#include "pluginloader.h"
#include "tracingkuvo.h"

#include "kuvo/kuvobroker.h"
#include "kuvo/kuvobrokerthread.h"
#include "kuvo/kuvoclient.h"
#include "mox/moxinterpreter.h"
#include "pluginmanager/hostpluginmanager.h"

#include <QObject>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <memory>

class ConsoleReader;
class HelpWindow;
class HostWindow;

struct HostOptions
{
    QString designPath;
    QString pluginPath;          // empty: next to the executable
    QString kuvoPath;            // empty: the per-user default (--eval: a private one)
    QString simulatorPath;       // empty: next to the executable
    QStringList simulatorArguments;
    bool eval = false;
    QString evalText;
    bool console = false;
    bool optimize = false;
    bool trace = false;
    bool noWindow = false;
    QString screenshotPath;
    int quitAfterIterations = -1;  // -1: not set
    int timeoutSeconds = 0;        // 0: none
    // Watched runs (a window on a display) pace the simulator to
    // kWatchedRunRate iterations a second unless this is set or the
    // simulator arguments give a --max-rate; headless runs never do. The
    // pace leaves a first-time user time to read the window and press
    // Pause: the bundled lowpass run's 22 iterations take about 30 s.
    bool fullSpeed = false;
    bool untilFinished = false;    // --screenshot: grab when the run has finished, not when it opened
    static constexpr double kWatchedRunRate = 0.75;

    // The simulator arguments of a run: the given ones, plus the watched
    // run's pace when the run is watched and nothing else sets one.
    QStringList simulatorArgumentsFor(bool headless) const;
};

class HelmdeckHost : public QObject
{
    Q_OBJECT

public:
    // Exit codes of the process.
    // ExitSimulatorFailed: the simulator that --optimize started ended with
    // a failure (its message is reported) in a run nobody watches.
    enum ExitCode { ExitOk = 0, ExitEvalError = 1, ExitStartFailed = 2, ExitTimedOut = 3, ExitSimulatorFailed = 4 };

    // Ends the process with ExitTimedOut after seconds, whatever its event
    // loop does meanwhile (a loop that is held up never runs a timer).
    static void armTimeoutWatchdog(int seconds);

    static const QByteArray kPluginModule;  // "CmdOp": where the plug-in's words live and the console evaluates
    static const QByteArray kHostModule;    // "host": the host's own words

    explicit HelmdeckHost(const HostOptions &options, QObject *parent = nullptr);
    ~HelmdeckHost() override;

    // Runs the whole start-up for the options; answers the exit code to
    // return at once when start-up failed or the mode is done (eval),
    // -1 when the event loop is to run.
    int start();

    // Pieces, used by start() and by tests.
    bool startBus(const QString &path, QString *error);
    bool loadPlugin(const QString &path);
    bool openDesign(const QString &path, QString *error);
    // Starts an optimization of the open design; answers the simulator id.
    QByteArray optimize(QString *error);
    // Stops the current simulator (notifying the plug-in); false when none runs.
    bool stopSimulator();
    // Closes the current simulator the gentle way: the helmdeck is told
    // (optimHelmdeck_simulatorBeingClosed) and disconnects it, so it ends by
    // itself; one still running after waitMs is stopped. False when none runs.
    bool releaseSimulator(int waitMs = 3000);

    MoxInterpreter *mox() { return &m_mox; }
    DesignStore *design() { return &m_design; }
    HostSession *session() { return m_session.get(); }
    HostPluginManager *pluginManager() { return &m_manager; }
    const PluginLoader &plugin() const { return m_plugin; }
    const HostTrace &trace() const { return m_trace; }
    QString kuvoPath() const { return m_kuvoPath; }
    int iterationBlocksSeen() const { return m_iterationBlocks; }

    // Evaluates in the plug-in's module; the printed form on one line (line
    // breaks written as \n). ok false with error set for a failure.
    QByteArray evaluateLine(const QByteArray &text, bool *ok, QString *error);

    void showHelp(const QString &topic);
    QString helpTopicShown() const;
    // Keeps a close callback (takes the handle); the previous one is released.
    void setCloseCallback(MoxValue *function);
    // Calls the close callback with the two flags; true when there is none or
    // it answered TRUE (the helmdeck is closed).
    bool runCloseCallback(bool closeWithoutQuestions, bool askOnClose);
    BackAnnotationResult backAnnotate(const BackAnnotationRequest &request);

    // Closes the helmdeck and the simulators and ends the event loop with
    // code. interactive: the user may be asked and may refuse (answers false).
    bool quit(int code, bool interactive);
    void requestQuit(int code) { queueQuit(code); }

    HostWindow *window() const;
    // Set once the host is being destroyed: the host's words answer nothing then.
    bool isClosing() const { return m_closing; }
    void showWindow();

Q_SIGNALS:
    void designChanged();
    void simulatorsChanged();
    void logLine(const QString &line);

protected:
    // F1 anywhere: the help of the window that has the focus (see .cpp).
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void deliverToPlugin(const KuvoMessage &message);
    void observeBlock(const TracedBlock &block);
    void startConsole();
    void consoleLine(const QByteArray &line);
    void processConsole();
    void flushConsole();
    void maybeEndConsole();
    void armHeadlessRun();
    void scheduleHeadlessFinish(int code, int delayMs);
    void finishHeadlessRun(int code);
    void queueQuit(int code);
    void reportProblem(const QString &text, bool fatal);
    void checkOptimizeSimulator(const QByteArray &id);
    bool isHeadless() const;

    HostOptions m_options;
    HostTrace m_trace;
    MoxInterpreter m_mox;
    HostPluginManager m_manager;
    // On a thread of its own: it relays a simulator's frames while the GUI
    // thread decodes and paints the previous iteration.
    KuvoBrokerThread m_broker;
    KuvoClient m_hostClient;
    TracingKuvo m_kuvo;
    std::unique_ptr<HostSession> m_session;
    DesignStore m_design;
    PluginLoader m_plugin;
    QString m_kuvoPath;
    std::unique_ptr<QTemporaryDir> m_privateDir;
    MoxValue *m_closeCallback = nullptr;
    QPointer<HelpWindow> m_help;
    QPointer<HostWindow> m_window;

    // Console: lines waiting, and results kept in input order.
    struct ConsoleResult
    {
        bool done = false;
        QByteArray text;
    };
    ConsoleReader *m_console = nullptr;
    QList<QByteArray> m_consoleLines;
    std::deque<std::shared_ptr<ConsoleResult>> m_consoleResults;
    int m_consoleDepth = 0;
    bool m_consoleRetryQueued = false;

    // The simulator --optimize started, and every simulator's last output
    // lines (its own error text when it fails).
    QByteArray m_optimizeId;
    QHash<QByteArray, QStringList> m_simulatorOutput;

    // Headless runs.
    int m_iterationBlocks = 0;
    bool m_headlessFinishing = false;
    bool m_quitting = false;
    bool m_closing = false;
};
