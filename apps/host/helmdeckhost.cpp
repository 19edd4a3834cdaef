#include "helmdeckhost.h"

#include "consolereader.h"
#include "helpwindow.h"
#include "hostvocabulary.h"
#include "hostwindow.h"
#include "moxargs.h"
#include "uiaids.h"
#include "wire/datablock.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QKeyEvent>
#include <QPushButton>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include <unistd.h>

const QByteArray HelmdeckHost::kPluginModule("CmdOp");
const QByteArray HelmdeckHost::kHostModule("host");

namespace {

constexpr int kDefaultHeadlessTimeoutSeconds = 120;
// The timeout's watchdog gives the event loop this long past the timeout to
// end the run in order (report, screenshot) before it ends the process.
constexpr int kWatchdogGraceSeconds = 5;

extern "C" void onTimeoutAlarm(int)
{
    // Only async-signal-safe calls here.
    static const char text[] = "helmdeck-host: timed out; the run did not end in time\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(HelmdeckHost::ExitTimedOut);
}
// How long the window gets to redraw before a screenshot is taken.
constexpr int kRedrawDelayMs = 500;

void printError(const QString &text)
{
    const QByteArray bytes = "helmdeck-host: " + text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

HelmdeckHost::HelmdeckHost(const HostOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_kuvo(&m_hostClient, &m_trace)
    , m_session(std::make_unique<HostSession>(&m_trace))
{
    m_trace.setEnabled(options.trace);
    m_trace.setObserver([this](const QString &line) { Q_EMIT logLine(line); });
    m_manager.setMox(&m_mox);
    m_manager.setKuvo(&m_kuvo);
    // The plug-in's goal table travels to the host as a "QtWidget" object.
    m_mox.registerObjectType("QtWidget");
    registerHostVocabulary(this);

    m_kuvo.setBlockObserver([this](const TracedBlock &block) { observeBlock(block); });
    m_hostClient.setHandler([this](const KuvoMessage &message) {
        deliverToPlugin(message);
        return true;
    });

    m_session->setSimulatorProgram(options.simulatorPath.isEmpty()
                                       ? QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("helmdeck-sim"))
                                       : options.simulatorPath);
    m_session->setExtraArguments(options.simulatorArgumentsFor(isHeadless()));
    connect(m_session.get(), &HostSession::simulatorStateChanged, this, &HelmdeckHost::simulatorsChanged);
    connect(m_session.get(), &HostSession::simulatorStateChanged, this, &HelmdeckHost::checkOptimizeSimulator);
    connect(m_session.get(), &HostSession::simulatorOutput, this, [this](const QByteArray &id, const QString &line) {
        QStringList &lines = m_simulatorOutput[id];
        lines.append(line);
        while (lines.size() > 5)
            lines.removeFirst();
        printError(QStringLiteral("[%1] %2").arg(QString::fromLatin1(id), line));
        Q_EMIT logLine(QStringLiteral("[%1] %2").arg(QString::fromLatin1(id), line));
    });
    connect(&m_design, &DesignStore::changed, this, &HelmdeckHost::designChanged);
    qApp->installEventFilter(this);
}

bool HelmdeckHost::eventFilter(QObject *watched, QEvent *event)
{
    // F1 opens the help of the focused window. The helmdeck's window has the
    // key itself; a dialog with a Help button gets that button's page; the
    // host's own window gets the host's page.
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()
        || static_cast<QKeyEvent *>(event)->key() != Qt::Key_F1 || static_cast<QKeyEvent *>(event)->modifiers() != Qt::NoModifier)
        return QObject::eventFilter(watched, event);
    QWidget *window = static_cast<QWidget *>(watched)->window();
    for (const QDialogButtonBox *box : window->findChildren<QDialogButtonBox *>()) {
        for (QAbstractButton *button : box->buttons()) {
            if (box->buttonRole(button) == QDialogButtonBox::HelpRole && button->isVisible() && button->isEnabled()) {
                button->click();
                return true;
            }
        }
    }
    if (window == m_window) {
        showHelp(QStringLiteral("HELMDECK_HOST"));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

HelmdeckHost::~HelmdeckHost()
{
    // Waits below may run the event loop; nothing may reach the plug-in or
    // the host's words from there while the host comes apart.
    m_closing = true;
    m_hostClient.setHandler({});
    delete m_window.data();
    delete m_help.data();
    m_mox.release(m_closeCallback);
    m_closeCallback = nullptr;
    m_session.reset();
    m_hostClient.disconnectFromBroker();
    m_broker.stop();
}

QStringList HostOptions::simulatorArgumentsFor(bool headless) const
{
    QStringList arguments = simulatorArguments;
    const bool rateGiven = std::any_of(arguments.cbegin(), arguments.cend(),
                                       [](const QString &a) { return a.startsWith(QLatin1String("--max-rate")); });
    if (!fullSpeed && !rateGiven && !headless)
        arguments.append(QStringLiteral("--max-rate=%1").arg(kWatchedRunRate));
    return arguments;
}

bool HelmdeckHost::isHeadless() const
{
    return m_options.eval || m_options.console || !m_options.screenshotPath.isEmpty() || m_options.quitAfterIterations >= 0
        || QGuiApplication::platformName() == QLatin1String("offscreen");
}

void HelmdeckHost::reportProblem(const QString &text, bool fatal)
{
    printError(text);
    Q_EMIT logLine(text);
    if (fatal || isHeadless())
        return;
    const QString sentence = text.isEmpty() ? text : text.at(0).toUpper() + text.mid(1);
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Helmdeck Host"), sentence, QMessageBox::Ok);
    box->setObjectName(QStringLiteral("hostProblemBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

int HelmdeckHost::start()
{
    QString path = m_options.kuvoPath;
    if (path.isEmpty() && m_options.eval) {
        // A one-shot evaluation must not meet a host already running on the
        // default path: it gets a bus of its own.
        m_privateDir = std::make_unique<QTemporaryDir>();
        path = m_privateDir->isValid() ? m_privateDir->filePath(QStringLiteral("kuvo")) : QString();
    }
    if (path.isEmpty())
        path = KuvoBroker::defaultSocketPath();
    QString error;
    if (!startBus(path, &error)) {
        reportProblem(error, true);
        return ExitStartFailed;
    }

    const bool headlessRun = !m_options.screenshotPath.isEmpty() || m_options.quitAfterIterations >= 0;
    if (!loadPlugin(m_options.pluginPath.isEmpty() ? PluginLoader::defaultPath() : m_options.pluginPath) && headlessRun)
        return ExitStartFailed;

    if (!m_options.designPath.isEmpty() && !openDesign(m_options.designPath, &error)) {
        reportProblem(error, m_options.eval || m_options.optimize || headlessRun);
        if (m_options.eval || m_options.optimize || headlessRun)
            return ExitStartFailed;
    }

    if (m_options.eval) {
        bool ok = false;
        const QByteArray out = evaluateLine(m_options.evalText.toUtf8(), &ok, &error);
        if (!ok) {
            printError(QStringLiteral("error: ") + error);
        } else {
            const QByteArray line = out + '\n';
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
            std::fflush(stdout);
        }
        runCloseCallback(true, false);
        m_session->stopAll(false, 2000);
        return ok ? ExitOk : ExitEvalError;
    }

    if (m_options.console)
        startConsole();
    const bool windowWanted = !m_options.noWindow && !(m_options.console && m_options.designPath.isEmpty());
    if (windowWanted)
        showWindow();
    if (m_options.optimize) {
        m_optimizeId = optimize(&error);
        if (m_optimizeId.isEmpty()) {
            reportProblem(error, headlessRun);
            if (headlessRun)
                return ExitStartFailed;
        }
    }
    armHeadlessRun();
    return -1;
}

bool HelmdeckHost::startBus(const QString &path, QString *error)
{
    if (!m_broker.start(path)) {
        if (error)
            *error = QStringLiteral("cannot run the KUVO broker on %1: %2 (is another host running there? use --kuvo PATH)")
                         .arg(path, m_broker.errorString());
        return false;
    }
    m_kuvoPath = path;
    if (!m_hostClient.connectToBroker(path, "tolvane")) {
        if (error)
            *error = QStringLiteral("cannot join the bus as \"tolvane\": %1").arg(m_hostClient.errorString());
        return false;
    }
    m_session->setKuvoPath(path);
    if (!m_session->connectToBus(path, m_hostClient.address(), error))
        return false;
    m_trace.line(QStringLiteral("bus %1: tolvane %2, tolvanesess %3")
                     .arg(path)
                     .arg(m_hostClient.address())
                     .arg(m_session->client()->address()));
    return true;
}

bool HelmdeckHost::loadPlugin(const QString &path)
{
    // The library's own failure reports are echoed by the manager; the
    // loader collects them together with its own findings.
    m_manager.setEchoFailures(false);
    const bool ok = m_plugin.load(path, &m_manager);
    if (!ok) {
        reportProblem(QStringLiteral("the plug-in could not be loaded:\n  ") + m_plugin.problems().join(QStringLiteral("\n  ")),
                      false);
    } else {
        for (const QString &problem : m_plugin.problems())
            reportProblem(problem, false);
        m_trace.line(QStringLiteral("plug-in %1 loaded, library version %2").arg(path).arg(m_plugin.libraryVersion()));
    }
    return ok;
}

bool HelmdeckHost::openDesign(const QString &path, QString *error)
{
    if (m_design.isOpen()) {
        // Closing the design closes its helmdeck and ends its simulators.
        if (!runCloseCallback(false, !isHeadless())) {
            if (error)
                *error = QStringLiteral("the helmdeck stays open, so the design stays open");
            return false;
        }
        m_session->stopAll(true, 3000);
    }
    if (!m_design.load(path, error))
        return false;
    m_trace.line(QStringLiteral("design %1 open").arg(m_design.designName()));
    return true;
}

QByteArray HelmdeckHost::optimize(QString *error)
{
    if (!m_design.isOpen()) {
        if (error)
            *error = QStringLiteral("no design is open");
        return QByteArray();
    }
    // Ask the helmdeck before another simulation starts.
    if (m_mox.hasWord(kHostModule, "optimHelmdeck_okToStartNewSimulation")) {
        MoxValue *answer = m_mox.evaluate(kPluginModule, "optimHelmdeck_okToStartNewSimulation()");
        bool ok = true;
        if (answer)
            m_mox.readBool(answer, ok);
        m_mox.release(answer);
        if (!ok) {
            if (error)
                *error = QStringLiteral("the helmdeck is still open; no new simulation started");
            return QByteArray();
        }
    }
    const QByteArray running = m_session->currentSimulatorId();
    if (!running.isEmpty())
        m_session->stopAndRelease(running);
    return m_session->startSimulator(m_design.filePath(), error);
}

bool HelmdeckHost::stopSimulator()
{
    const QByteArray id = m_session->currentSimulatorId();
    return !id.isEmpty() && m_session->stopAndRelease(id);
}

bool HelmdeckHost::releaseSimulator(int waitMs)
{
    const QByteArray id = m_session->currentSimulatorId();
    if (id.isEmpty())
        return false;
    if (m_mox.hasWord(kHostModule, "optimHelmdeck_simulatorBeingClosed"))
        m_mox.release(m_mox.evaluate(kPluginModule, "optimHelmdeck_simulatorBeingClosed(\"" + id + "\", FALSE)"));
    m_session->waitUntilAllEnded(waitMs);
    if (m_session->isRunning(id))
        m_session->stopAndRelease(id);
    return true;
}

QByteArray HelmdeckHost::evaluateLine(const QByteArray &text, bool *ok, QString *error)
{
    QString why;
    QByteArray out = m_mox.evaluateToText(kPluginModule, text, &why);
    if (!why.isEmpty()) {
        if (ok)
            *ok = false;
        if (error)
            *error = why;
        return QByteArray();
    }
    if (ok)
        *ok = true;
    // One result, one line.
    out.replace('\n', "\\n").replace('\r', "\\r");
    return out;
}

void HelmdeckHost::showHelp(const QString &topic)
{
    if (!m_help)
        m_help = new HelpWindow;
    m_help->showTopic(topic);
    m_trace.line(QStringLiteral("help %1%2").arg(topic, HelpWindow::hasPage(topic) ? QString() : QStringLiteral(" (no page)")));
}

QString HelmdeckHost::helpTopicShown() const
{
    return m_help && m_help->isVisible() ? m_help->topic() : QString();
}

void HelmdeckHost::setCloseCallback(MoxValue *function)
{
    m_mox.release(m_closeCallback);
    m_closeCallback = function;
    m_trace.line(QStringLiteral("close callback %1").arg(QString::fromUtf8(m_mox.printed(function))));
}

bool HelmdeckHost::runCloseCallback(bool closeWithoutQuestions, bool askOnClose)
{
    if (!m_closeCallback)
        return true;
    MoxValue *answer = m_mox.invoke(m_closeCallback, {moxvalues::boolean(&m_mox, closeWithoutQuestions),
                                                      moxvalues::boolean(&m_mox, askOnClose)});
    bool closed = true;
    if (answer)
        m_mox.readBool(answer, closed);
    m_mox.release(answer);
    m_trace.line(QStringLiteral("close callback answered %1").arg(closed ? QStringLiteral("TRUE") : QStringLiteral("FALSE")));
    return closed;
}

BackAnnotationResult HelmdeckHost::backAnnotate(const BackAnnotationRequest &request)
{
    const BackAnnotationResult result = ::backAnnotate(&m_mox, &m_design, request);
    m_trace.line(QStringLiteral("back annotation: %1").arg(result.summary()));
    if (!result.problems.isEmpty())
        reportProblem(QStringLiteral("Update of the design: ") + result.summary(), false);
    return result;
}

bool HelmdeckHost::quit(int code, bool interactive)
{
    if (m_quitting)
        return true;
    if (!runCloseCallback(false, interactive) && interactive)
        return false;
    m_quitting = true;
    m_trace.line(QStringLiteral("quit %1").arg(code));
    // A simulator the helmdeck was just told to finish ends by itself; the
    // rest are stopped.
    if (m_closeCallback)
        m_session->waitUntilAllEnded(3000);
    m_session->stopAll(false, 2000);
    if (m_help)
        m_help->close();
    if (m_window)
        m_window->hide();
    QTimer::singleShot(0, qApp, [code] { QCoreApplication::exit(code); });
    return true;
}

void HelmdeckHost::queueQuit(int code)
{
    QTimer::singleShot(0, this, [this, code] {
        if (m_kuvo.isWaiting()) {
            QTimer::singleShot(50, this, [this, code] { queueQuit(code); });
            return;
        }
        quit(code, false);
    });
}

HostWindow *HelmdeckHost::window() const
{
    return m_window;
}

void HelmdeckHost::showWindow()
{
    if (!m_window)
        m_window = new HostWindow(this);
    m_window->show();
}

void HelmdeckHost::deliverToPlugin(const KuvoMessage &message)
{
    m_kuvo.noteDelivered(message);
    if (!m_manager.deliverMessage(PluginLoader::kPluginObjectName, message.sender, message.kind, message.text)) {
        // Without a plug-in nobody can take a simulator's rendezvous: refuse
        // it rather than let the simulator wait.
        if (message.kind == wire::KindRendezvous)
            m_hostClient.send(message.sender, wire::KindRefused, message.text);
    }
}

void HelmdeckHost::observeBlock(const TracedBlock &block)
{
    if (block.isIteration && block.readCleanly)
        ++m_iterationBlocks;
    const bool headlessRun = !m_options.screenshotPath.isEmpty() || m_options.quitAfterIterations >= 0;
    if (!headlessRun || m_headlessFinishing)
        return;
    const int wanted = std::max(0, m_options.quitAfterIterations);
    const bool enough = wanted > 0 ? m_iterationBlocks >= wanted : !m_options.untilFinished && block.type == "OPEN_HELMDECK";
    // A run that finishes first has shown all it will show.
    const bool ended = block.status >= 4;
    if (enough || ended)
        scheduleHeadlessFinish(ExitOk, kRedrawDelayMs);
}

void HelmdeckHost::checkOptimizeSimulator(const QByteArray &id)
{
    if (id.isEmpty())
        return;
    const HostSession::SimulatorInfo info = m_session->simulator(id);
    using S = HostSession::SimState;
    const bool failed = (info.state == S::Exited && info.exitCode != 0) || info.state == S::Crashed
        || info.state == S::FailedToStart;
    const bool ended = failed || info.state == S::Exited || info.state == S::Killed;
    if (!ended)
        return;
    // Whatever the simulator said last is its own account of the failure (a
    // design error at start, a simulation that failed): the user reads it in
    // a message box and in the log, not just "exited 1" in the status bar.
    const QStringList output = m_simulatorOutput.take(id);
    const bool optimizeRun = id == m_optimizeId;
    if (!failed)
        return;
    if (optimizeRun)
        m_optimizeId.clear();
    QString text = QStringLiteral("the simulator %1 %2").arg(QString::fromLatin1(id), HostSession::stateText(info));
    if (!output.isEmpty())
        text += QStringLiteral(": ") + output.join(QStringLiteral("\n  "));
    // Nobody watches an unattended run: it ends at once with the reason
    // rather than wait for its timeout.
    const bool unattended = !m_options.screenshotPath.isEmpty() || m_options.quitAfterIterations >= 0
        || m_options.timeoutSeconds > 0 || isHeadless();
    reportProblem(text, optimizeRun && unattended);
    if (optimizeRun && unattended)
        finishHeadlessRun(ExitSimulatorFailed);
}

void HelmdeckHost::armHeadlessRun()
{
    const bool headlessRun = !m_options.screenshotPath.isEmpty() || m_options.quitAfterIterations >= 0;
    int timeout = m_options.timeoutSeconds;
    if (timeout <= 0 && headlessRun)
        timeout = kDefaultHeadlessTimeoutSeconds;
    if (timeout > 0) {
        armTimeoutWatchdog(timeout + kWatchdogGraceSeconds);
        QTimer::singleShot(timeout * 1000, this, [this, timeout] {
            reportProblem(QStringLiteral("timed out after %1 s").arg(timeout), true);
            finishHeadlessRun(ExitTimedOut);
        });
    }
    // Nothing will run: the host window is the picture.
    if (headlessRun && !m_options.optimize && m_options.quitAfterIterations <= 0)
        scheduleHeadlessFinish(ExitOk, kRedrawDelayMs);
}

void HelmdeckHost::armTimeoutWatchdog(int seconds)
{
    struct sigaction action = {};
    action.sa_handler = onTimeoutAlarm;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGALRM, &action, nullptr);
    ::alarm(unsigned(std::max(seconds, 1)));
}

void HelmdeckHost::scheduleHeadlessFinish(int code, int delayMs)
{
    QTimer::singleShot(delayMs, this, [this, code] { finishHeadlessRun(code); });
}

void HelmdeckHost::finishHeadlessRun(int code)
{
    if (m_headlessFinishing || m_quitting)
        return;
    if (m_kuvo.isWaiting()) {
        // Not from inside the plug-in's wait for a reply.
        QTimer::singleShot(50, this, [this, code] { finishHeadlessRun(code); });
        return;
    }
    m_headlessFinishing = true;
    int result = code;
    if (!m_options.screenshotPath.isEmpty()) {
        QWidget *target = uiaids::helmdeckWindow();
        if (!target)
            target = m_window;
        QString error;
        if (uiaids::grabToFile(target, m_options.screenshotPath, &error)) {
            m_trace.line(QStringLiteral("screenshot %1 of \"%2\"").arg(m_options.screenshotPath, target->windowTitle()));
        } else {
            reportProblem(error, true);
            if (result == ExitOk)
                result = ExitStartFailed;
        }
    }
    quit(result, false);
}

// ---------------------------------------------------------------- console

void HelmdeckHost::startConsole()
{
    m_console = new ConsoleReader(0, this);
    connect(m_console, &ConsoleReader::lineRead, this, &HelmdeckHost::consoleLine);
    connect(m_console, &ConsoleReader::finished, this, &HelmdeckHost::maybeEndConsole);
}

void HelmdeckHost::consoleLine(const QByteArray &line)
{
    const QByteArray text = line.trimmed();
    if (text.isEmpty() || text.startsWith('#'))
        return;
    m_consoleLines.append(text);
    processConsole();
}

void HelmdeckHost::processConsole()
{
    while (!m_consoleLines.isEmpty()) {
        if (m_kuvo.isWaiting()) {
            // The plug-in waits for a reply: evaluate once it has it.
            if (!m_consoleRetryQueued) {
                m_consoleRetryQueued = true;
                QTimer::singleShot(20, this, [this] {
                    m_consoleRetryQueued = false;
                    processConsole();
                });
            }
            return;
        }
        const QByteArray line = m_consoleLines.takeFirst();
        auto result = std::make_shared<ConsoleResult>();
        m_consoleResults.push_back(result);
        ++m_consoleDepth;
        bool ok = false;
        QString error;
        const QByteArray out = evaluateLine(line, &ok, &error);
        --m_consoleDepth;
        result->text = ok ? out : "error: " + error.toUtf8().replace('\n', ' ');
        result->done = true;
        flushConsole();
    }
    maybeEndConsole();
}

void HelmdeckHost::flushConsole()
{
    // An expression that waits in a modal dialog holds back the results of
    // the lines after it, so results come out in input order.
    while (!m_consoleResults.empty() && m_consoleResults.front()->done) {
        const QByteArray line = m_consoleResults.front()->text + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        m_consoleResults.pop_front();
    }
    std::fflush(stdout);
}

void HelmdeckHost::maybeEndConsole()
{
    if (m_console && m_console->isAtEnd() && m_consoleLines.isEmpty() && m_consoleDepth == 0 && m_consoleResults.empty())
        queueQuit(ExitOk);
}
