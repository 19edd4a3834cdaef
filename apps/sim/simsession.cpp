#include "simsession.h"

#include "model/optimitermessages.h"

#include <QDeadlineTimer>

#include <cstdio>

namespace {

QString stopReason(const SimOutcome &outcome)
{
    switch (outcome.stop) {
    case SimStop::IterationLimit: return QStringLiteral("Maximum number of iterations reached");
    case SimStop::GoalsMet: return outcome.message.isEmpty() ? QStringLiteral("All goals met") : outcome.message;
    case SimStop::Converged: return outcome.message.isEmpty() ? QStringLiteral("Converged") : outcome.message;
    case SimStop::Failed:
    case SimStop::Refused: return outcome.message;
    case SimStop::Interrupted:
    case SimStop::None: break;
    }
    return QString();
}

template <typename Record>
bool readPayload(const QList<QByteArray> &payload, Record &record)
{
    OptimSerialReader reader(payload);
    record.deserialize(reader);
    return !reader.hasError();
}

}  // namespace

SimSession::SimSession(const SimDesign &design, const SimSessionOptions &options)
    : m_design(design)
    , m_options(options)
{
    m_link.setAckTimeout(options.ackTimeoutMs);
}

SimSession::~SimSession() = default;

QByteArray SimSession::openBlockName(bool multiOpt, bool interactive)
{
    QByteArray name("OPTIM_HELMDECK OPEN_HELMDECK");
    if (multiOpt || interactive)
        name += multiOpt ? " MULTI_OPT" : " SINGLE_OPT";
    if (interactive)
        name += " INTERACTIVE";
    return name;
}

void SimSession::log(const QString &text) const
{
    if (m_options.verbose) {
        std::fprintf(stderr, "helmdeck-sim: %s\n", qPrintable(text));
        std::fflush(stderr);
    }
}

int SimSession::run()
{
    QString why;
    if (!m_link.connectToBus(m_options.kuvoPath, m_options.processName, &why)) {
        m_error = why;
        return ExitBus;
    }
    bool refused = false;
    if (!m_link.rendezvous(m_options.rendezvousTimeoutMs, &refused, &why)) {
        m_error = why;
        m_link.disconnectFromBus();
        return ExitBus;
    }
    log(QStringLiteral("rendezvous accepted by the host at address %1").arg(m_link.hostAddress()));

    const int count = m_design.optimizationCount();
    for (int k = 0; k < count && m_exit == Exit::None; ++k) {
        m_opt = std::make_unique<SimOptimization>(m_design, k, m_options.seed + quint32(k));
        m_pending.clear();
        m_outputsStale = false;
        m_status = 0;
        m_reason.clear();
        if (!sendBlockRecord(openBlockName(m_design.isMultiOpt(), m_options.interactive), m_opt->modelInput()))
            break;
        runOptimization(k == count - 1);
    }

    flush(true);
    int code = ExitOk;
    switch (m_exit) {
    case Exit::Finish:
        sendStatus(StatusExited, QStringLiteral("Simulation finished"));
        break;
    case Exit::Failed:
        code = ExitSimulation;
        break;
    case Exit::LinkFailed:
        code = ExitLink;
        break;
    case Exit::None:
    case Exit::Disconnect:
    case Exit::HostGone:
        break;
    }
    m_link.disconnectFromBus();
    return code;
}

bool SimSession::runOptimization(bool last)
{
    const QStringList problems = m_options.designWarnings + m_opt->problems();
    if (!sendStatus(StatusInitializing, problems.isEmpty() ? QStringLiteral("Simulating the initial values")
                                                           : problems.join(QStringLiteral("; "))))
        return false;
    m_status = StatusRunning;
    m_reason.clear();
    if (!sendStatus(StatusRunning, QString()))
        return false;
    m_sinceSend.invalidate();  // the first iteration goes out at once

    for (;;) {
        m_restart = false;
        const SimOutcome outcome = m_opt->run([this](const SimProblem::Report &r) { onIteration(r); });
        flush(true);
        if (m_exit != Exit::None)
            return false;
        if (outcome.stop == SimStop::Failed) {
            m_error = QStringLiteral("simulation failed: ") + outcome.message;
            sendStatus(StatusExitedWithError, outcome.message);
            m_exit = Exit::Failed;
            return false;
        }
        if (outcome.stop == SimStop::Interrupted) {
            // Changed values or definitions arrived: start again from them.
            continue;
        }
        if (outcome.stop == SimStop::Refused && !m_options.interactive) {
            m_error = outcome.message;
            sendStatus(StatusExitedWithError, outcome.message);
            m_exit = Exit::Failed;
            return false;
        }
        // Refused in an interactive job: finished with the reason; the
        // helmdeck may send other definitions and continue.
        if (!sendStatus(StatusFinished, stopReason(outcome)))
            return false;
        if (!last || !m_options.interactive)
            return true;
        // Stay until the helmdeck continues, finishes or leaves.
        for (;;) {
            waitForCommands();
            if (m_exit != Exit::None)
                return false;
            m_continueRequested = false;
            if (!sendStatus(StatusRunning, QString()))
                return false;
            if (m_restart || !m_opt->limitReached())
                break;
            // Nothing left to do at this limit: finished again.
            if (!sendStatus(StatusFinished, QStringLiteral("Maximum number of iterations reached")))
                return false;
        }
    }
}

void SimSession::onIteration(const SimProblem::Report &r)
{
    if (!r.evaluation->ok) {
        m_opt->requestStop(SimStop::Failed, r.evaluation->message);
        return;
    }
    PendingIter p;
    p.iteration = r.iteration;
    p.improved = r.improved;
    p.bestError = SimOptimization::number(r.best->total());
    p.goalTexts = m_opt->goalValueTexts(*r.best);
    p.variableTexts = m_opt->variableValueTexts(*r.best);
    m_pending.push_back(std::move(p));

    flush(false);
    if (!m_pending.empty())
        log(QStringLiteral("iteration %1 held for the next report").arg(r.iteration));
    pollBus();
    throttle();
    if (m_pauseRequested && m_exit == Exit::None)
        enterPause();
    if (m_exit != Exit::None || m_restart)
        m_opt->requestStop(SimStop::Interrupted);
}

void SimSession::throttle()
{
    if (m_options.maxRate <= 0)
        return;
    const qint64 interval = qint64(1000.0 / m_options.maxRate);
    QDeadlineTimer until(interval);
    while (!until.hasExpired() && m_exit == Exit::None && !m_pauseRequested && !m_restart) {
        flush(false);
        const SimIncoming in = m_link.next(int(std::min<qint64>(until.remainingTime(), 20)));
        if (in.type != SimIncoming::None)
            handle(in);
    }
}

void SimSession::pollBus()
{
    for (;;) {
        const SimIncoming in = m_link.next(0);
        if (in.type == SimIncoming::None)
            return;
        handle(in);
        if (m_exit != Exit::None)
            return;
    }
}

void SimSession::enterPause()
{
    m_pauseRequested = false;
    flush(true);
    if (!sendStatus(StatusPaused, QStringLiteral("Paused")))
        return;
    waitForCommands();
    if (m_exit != Exit::None)
        return;
    m_continueRequested = false;
    sendStatus(StatusRunning, QString());
}

void SimSession::waitForCommands()
{
    flush(true);
    while (m_exit == Exit::None && !m_continueRequested) {
        const SimIncoming in = m_link.next(1000);
        if (in.type != SimIncoming::None)
            handle(in);
    }
    // The first iteration after the wait goes out at once, as at the start.
    m_sinceSend.invalidate();
}

void SimSession::handle(const SimIncoming &in)
{
    switch (in.type) {
    case SimIncoming::Command:
        log(QStringLiteral("command %1 %2").arg(QString::fromLatin1(in.word)).arg(in.commandId));
        if (in.word == "CONTINUE") {
            if (m_status == StatusPaused || m_status == StatusFinished)
                m_continueRequested = true;
            else
                sendStatus(m_status, m_reason);  // already running: say so, the helmdeck waits for it
        } else if (in.word == "SIMULATE") {
            sendSimResult(in.commandId);
        } else if (in.word == "FINISH_SIMULATION") {
            m_exit = Exit::Finish;
        }
        break;
    case SimIncoming::Message:
        handleMessage(in);
        break;
    case SimIncoming::Pause:
        if (!m_options.simulatorId.isEmpty() && !in.word.isEmpty() && in.word != m_options.simulatorId) {
            log(QStringLiteral("pause for simulator %1 ignored").arg(QString::fromLatin1(in.word)));
            break;
        }
        if (m_status == StatusRunning)
            m_pauseRequested = true;
        else
            sendStatus(m_status, m_reason);  // not running: the answer ends the helmdeck's wait
        break;
    case SimIncoming::Disconnect:
        log(QStringLiteral("disconnected by the helmdeck"));
        m_exit = Exit::Disconnect;
        break;
    case SimIncoming::HostGone:
    case SimIncoming::BusGone:
        log(QStringLiteral("the host left"));
        m_exit = Exit::HostGone;
        break;
    case SimIncoming::None:
    case SimIncoming::Other:
        break;
    }
}

void SimSession::handleMessage(const SimIncoming &in)
{
    log(QStringLiteral("message %1").arg(QString::fromLatin1(in.word)));
    bool changed = false;
    QStringList problems;
    if (in.word == OptimIterVariableValues::typeWord()) {
        OptimIterVariableValues m;
        if (!readPayload(in.payload, m))
            return;
        m_lastCommandId = m.commandId();
        changed = m_opt->setVariableValues(m.values(), &problems);
        if (!problems.isEmpty())
            problems.prepend(QStringLiteral("values not taken:"));
    } else if (in.word == OptimIterVariableDefinitions::typeWord()) {
        OptimIterVariableDefinitions m;
        if (!readPayload(in.payload, m))
            return;
        m_lastCommandId = m.commandId();
        QStringList refused;
        changed = m_opt->setVariableDefinitions(m.variables(), &refused);
        problems = refused.isEmpty() ? m_opt->problems() : refused;
    } else if (in.word == OptimIterGoalDefinitions::typeWord()) {
        OptimIterGoalDefinitions m;
        if (!readPayload(in.payload, m))
            return;
        m_lastCommandId = m.commandId();
        changed = m_opt->setGoalDefinitions(m.goals());
        problems = m_opt->problems();
    } else if (in.word == OptimIterAlgorithmDefinition::typeWord()) {
        OptimIterAlgorithmDefinition m;
        if (!readPayload(in.payload, m))
            return;
        m_lastCommandId = m.commandId();
        changed = m_opt->setAlgorithm(m.algorithm());
    } else {
        return;
    }
    if (changed) {
        m_restart = true;
        m_outputsStale = true;
    }
    if (!problems.isEmpty())
        sendStatus(m_status, problems.join(QLatin1Char(' ')));
}

bool SimSession::sendSimResult(long commandId)
{
    flush(true);
    m_lastCommandId = commandId;
    const SimEvaluation e = m_opt->simulateCurrent();
    OptimAlgOutput a = m_opt->algorithmOutput(m_status, e.ok ? m_reason : e.message, e.ok);
    a.setIsBestError(false);
    a.setErrorText(e.ok ? SimOptimization::number(e.total()) : QString());
    a.setErrorDetail(QString());
    OptimIterSimResult result;
    result.iteration() = m_opt->iterMessage(e, a, commandId);
    m_outputsStale = true;
    return sendRecord(OptimIterSimResult::typeWord(), result);
}

bool SimSession::sendStatus(int status, const QString &message)
{
    m_status = status;
    m_reason = message;
    return sendRecord(OptimStatus::typeWord(), OptimStatus(status, message));
}

bool SimSession::sendRecord(const QByteArray &word, const OptimSerializationIFC &record)
{
    return sendBlockRecord("OPTIM_HELMDECK " + word, record);
}

bool SimSession::sendBlockRecord(const QByteArray &name, const OptimSerializationIFC &record)
{
    if (m_exit == Exit::HostGone || m_exit == Exit::Disconnect || m_exit == Exit::LinkFailed)
        return false;
    if (m_link.sendRecord(name, record))
        return true;
    if (m_link.hostGone()) {
        m_exit = Exit::HostGone;
    } else {
        m_exit = Exit::LinkFailed;
        m_error = m_link.lastError();
    }
    if (m_opt)
        m_opt->requestStop(SimStop::Interrupted);
    return false;
}

void SimSession::flush(bool force)
{
    if (m_pending.empty() || !m_opt)
        return;
    if (!force && m_sinceSend.isValid() && m_sinceSend.elapsed() < m_options.batchIntervalMs)
        return;
    const std::vector<PendingIter> pending = std::move(m_pending);
    m_pending.clear();
    m_sinceSend.start();
    const PendingIter &last = pending.back();
    bool anyImproved = false;
    for (const PendingIter &p : pending)
        anyImproved = anyImproved || p.improved;
    const OptimAlgOutput algorithm = m_opt->algorithmOutput(m_status, m_reason);
    const SimEvaluation &best = m_opt->best();

    if (pending.size() == 1) {
        if (!last.improved && !m_outputsStale) {
            OptimIterNoProgress np;
            np.setCommandId(m_lastCommandId);
            np.algorithm() = algorithm;
            sendRecord(OptimIterNoProgress::typeWord(), np);
        } else {
            sendRecord(OptimIter::typeWord(), m_opt->iterMessage(best, algorithm, m_lastCommandId));
        }
        m_outputsStale = false;
        return;
    }

    // Iterations first..last-1 travel as histories, the last as the outputs.
    OptimIterCollapsedIterations batch;
    batch.setCommandId(m_lastCommandId);
    batch.setFirstIteration(pending.front().iteration);
    batch.setEndsWithNoProgress(!last.improved && !anyImproved && !m_outputsStale);
    batch.algorithm() = algorithm;
    const OptimIter outputs = m_opt->iterMessage(best, algorithm, m_lastCommandId);
    batch.goals() = outputs.goals();
    batch.variables() = outputs.variables();
    const qsizetype goals = last.goalTexts.size();
    const qsizetype variables = last.variableTexts.size();
    for (qsizetype g = 0; g < goals; ++g)
        batch.goalHistories().append(OptimGoalHistory());
    for (qsizetype v = 0; v < variables; ++v)
        batch.variableHistories().append(OptimVarHistory());
    for (size_t i = 0; i + 1 < pending.size(); ++i) {
        const PendingIter &p = pending[i];
        batch.algorithmHistory().values().append(p.bestError);
        for (qsizetype g = 0; g < goals; ++g)
            batch.goalHistories()[g].values().append(p.goalTexts.value(g));
        for (qsizetype v = 0; v < variables; ++v)
            batch.variableHistories()[v].values().append(p.variableTexts.value(v));
    }
    sendRecord(OptimIterCollapsedIterations::typeWord(), batch);
    m_outputsStale = false;
}
