#include "hostsession.h"

#include "wire/datablock.h"

#include "hosttrace.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <QFileInfo>

namespace {

constexpr int kSessionTimeoutMs = 5000;

} // namespace

HostSession::HostSession(const HostTrace *trace, QObject *parent)
    : QObject(parent)
    , m_trace(trace)
{
    m_client.setTimeout(kSessionTimeoutMs);
    m_client.setHandler([this](const KuvoMessage &message) { return handleMessage(message); });
}

HostSession::~HostSession()
{
    for (Simulator &sim : m_simulators) {
        if (!sim.process)
            continue;
        disconnect(sim.process, nullptr, this, nullptr);
        if (sim.process->state() != QProcess::NotRunning) {
            sim.process->kill();
            sim.process->waitForFinished(2000);
        }
    }
}

bool HostSession::connectToBus(const QString &kuvoPath, int pluginAddress, QString *error)
{
    m_kuvoPath = kuvoPath;
    m_pluginAddress = pluginAddress;
    if (!m_client.connectToBroker(kuvoPath, "tolvanesess")) {
        if (error)
            *error = QStringLiteral("the session role cannot join the bus: %1").arg(m_client.errorString());
        return false;
    }
    return true;
}

QByteArray HostSession::startSimulator(const QString &designPath, QString *error)
{
    const QFileInfo program(m_program);
    if (!program.isFile() || !program.isExecutable()) {
        if (error)
            *error = QStringLiteral("simulator program %1 not found").arg(m_program);
        return QByteArray();
    }
    const int number = m_nextNumber++;
    Simulator sim;
    sim.info.id = "SIM" + QByteArray::number(number);
    sim.info.busName = "sim-" + QByteArray::number(number);
    sim.info.state = SimState::Starting;
    const QByteArray id = sim.info.id;

    auto *process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setProgram(m_program);
    QStringList arguments{QStringLiteral("--design"), designPath,
                          QStringLiteral("--kuvo"), m_kuvoPath,
                          QStringLiteral("--id"), QString::fromLatin1(sim.info.id),
                          QStringLiteral("--name"), QString::fromLatin1(sim.info.busName)};
    arguments.append(m_extraArguments);
    process->setArguments(arguments);
    connect(process, &QProcess::started, this, [this, id] {
        auto it = m_simulators.find(id);
        if (it == m_simulators.end())
            return;
        if (it->process)
            it->info.pid = it->process->processId();
        setState(id, SimState::Running);
    });
    connect(process, &QProcess::finished, this,
            [this, id](int exitCode, QProcess::ExitStatus status) { processFinished(id, exitCode, status); });
    connect(process, &QProcess::errorOccurred, this, [this, id](QProcess::ProcessError e) { processError(id, e); });
    connect(process, &QProcess::readyReadStandardOutput, this, [this, id] { readOutput(id, false); });
    sim.process = process;
    m_simulators.insert(id, sim);
    m_startOrder.append(id);
    if (m_trace)
        m_trace->line(QStringLiteral("session: start %1 (%2) on %3").arg(QString::fromLatin1(id), QString::fromLatin1(sim.info.busName), designPath));
    process->start();
    Q_EMIT simulatorStateChanged(id);
    return id;
}

QByteArray HostSession::currentSimulatorId() const
{
    for (qsizetype i = m_startOrder.size() - 1; i >= 0; --i) {
        if (isRunning(m_startOrder.at(i)))
            return m_startOrder.at(i);
    }
    return QByteArray();
}

bool HostSession::isRunning(const QByteArray &id) const
{
    const auto it = m_simulators.constFind(id);
    if (it == m_simulators.cend() || it->released)
        return false;
    return it->info.state == SimState::Starting || it->info.state == SimState::Running;
}

HostSession::SimulatorInfo HostSession::simulator(const QByteArray &id) const
{
    return m_simulators.value(id).info;
}

QString HostSession::stateText(const SimulatorInfo &info)
{
    switch (info.state) {
    case SimState::Starting: return QStringLiteral("starting");
    case SimState::Running: return QStringLiteral("running");
    case SimState::Exited: return QStringLiteral("exited %1").arg(info.exitCode);
    case SimState::Crashed: return QStringLiteral("crashed");
    case SimState::Killed: return QStringLiteral("killed");
    case SimState::FailedToStart: return QStringLiteral("failed to start");
    case SimState::Unknown: break;
    }
    return QStringLiteral("unknown");
}

bool HostSession::stopAndRelease(const QByteArray &id)
{
    if (!isRunning(id))
        return false;
    Simulator &sim = m_simulators[id];
    notifyPlugin("NOTIFY OPTIM_HELMDECK_SIMULATOR_BEING_KILLED " + id);
    sim.released = true;
    if (m_trace)
        m_trace->line(QStringLiteral("session: kill %1").arg(QString::fromLatin1(id)));
    if (sim.process)
        sim.process->kill();
    return true;
}

void HostSession::stopAll(bool notify, int waitMs)
{
    for (const QByteArray &id : std::as_const(m_startOrder)) {
        if (!isRunning(id))
            continue;
        if (notify) {
            stopAndRelease(id);
            continue;
        }
        Simulator &sim = m_simulators[id];
        sim.released = true;
        if (sim.process)
            sim.process->kill();
    }
    waitUntilAllEnded(waitMs);
}

bool HostSession::waitUntilAllEnded(int waitMs)
{
    const auto anyRunning = [this] {
        for (const Simulator &sim : std::as_const(m_simulators)) {
            if (sim.process && sim.process->state() != QProcess::NotRunning)
                return true;
        }
        return false;
    };
    // The event loop keeps running: a simulator that is finishing may still
    // send the helmdeck a block and wait for its reply.
    const QDeadlineTimer deadline(waitMs);
    while (anyRunning() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(int(std::clamp<qint64>(deadline.remainingTime(), 1, 50)), &loop, &QEventLoop::quit);
        connect(this, &HostSession::simulatorStateChanged, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return !anyRunning();
}

bool HostSession::handleMessage(const KuvoMessage &message)
{
    if (message.kind == wire::KindPlain && message.text.startsWith("OPTIM_HELMDECK_PAUSE")) {
        relayPause(message);
    } else if (message.kind != wire::KindGone && m_trace) {
        m_trace->line(QStringLiteral("session: ignored message %1 from %2").arg(message.kind).arg(message.sender));
    }
    return true;
}

void HostSession::relayPause(const KuvoMessage &message)
{
    const QByteArrayList words = message.text.simplified().split(' ');
    if (words.value(0) != "OPTIM_HELMDECK_PAUSE")
        return;
    const QByteArray id = words.size() > 1 ? words.at(1) : currentSimulatorId();
    if (!isRunning(id)) {
        if (m_trace)
            m_trace->line(QStringLiteral("session: pause for %1: no such simulator running").arg(QString::fromLatin1(id)));
        return;
    }
    const QByteArray busName = m_simulators.value(id).info.busName;
    int address = -1;
    for (const KuvoPeer &peer : m_client.peers()) {
        if (peer.processName == busName) {
            address = peer.address;
            break;
        }
    }
    const bool sent = address >= 0 && m_client.send(address, wire::KindPlain, message.text);
    if (m_trace)
        m_trace->line(sent ? QStringLiteral("session: pause %1 relayed to %2").arg(QString::fromLatin1(id)).arg(address)
                           : QStringLiteral("session: pause %1 not relayed (simulator not on the bus)").arg(QString::fromLatin1(id)));
}

void HostSession::notifyPlugin(const QByteArray &text)
{
    int address = m_pluginAddress;
    if (address < 0 && !m_client.lookup("tolvane", address))
        address = -1;
    const bool sent = address >= 0 && m_client.send(address, wire::KindPlain, text);
    if (m_trace)
        m_trace->line(QStringLiteral("session: notify %1%2").arg(QString::fromLatin1(text), sent ? QString() : QStringLiteral(" (not sent)")));
}

void HostSession::processFinished(const QByteArray &id, int exitCode, QProcess::ExitStatus status)
{
    auto it = m_simulators.find(id);
    if (it == m_simulators.end())
        return;
    readOutput(id, true);
    it = m_simulators.find(id);
    it->info.exitCode = exitCode;
    if (it->process)
        it->process->deleteLater();
    if (it->released) {
        if (m_trace)
            m_trace->line(QStringLiteral("session: %1 stopped by the host").arg(QString::fromLatin1(id)));
        setState(id, SimState::Killed);
    } else if (status == QProcess::NormalExit) {
        if (m_trace)
            m_trace->line(QStringLiteral("session: %1 exited with code %2").arg(QString::fromLatin1(id)).arg(exitCode));
        setState(id, SimState::Exited);
        notifyPlugin("NOTIFY SESS ANALYZE_DONE " + id);
    } else {
        if (m_trace)
            m_trace->line(QStringLiteral("session: %1 crashed").arg(QString::fromLatin1(id)));
        setState(id, SimState::Crashed);
    }
}

void HostSession::processError(const QByteArray &id, QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart)
        return;
    auto it = m_simulators.find(id);
    if (it == m_simulators.end())
        return;
    if (m_trace)
        m_trace->line(QStringLiteral("session: %1 failed to start: %2")
                          .arg(QString::fromLatin1(id), it->process ? it->process->errorString() : QString()));
    if (it->process)
        it->process->deleteLater();
    setState(id, SimState::FailedToStart);
}

void HostSession::readOutput(const QByteArray &id, bool flushAll)
{
    auto it = m_simulators.find(id);
    if (it == m_simulators.end() || !it->process)
        return;
    it->pendingOutput += it->process->readAll();
    QList<QString> lines;
    qsizetype newline;
    while ((newline = it->pendingOutput.indexOf('\n')) >= 0) {
        lines.append(QString::fromUtf8(it->pendingOutput.left(newline)));
        it->pendingOutput.remove(0, newline + 1);
    }
    if (flushAll && !it->pendingOutput.isEmpty()) {
        lines.append(QString::fromUtf8(it->pendingOutput));
        it->pendingOutput.clear();
    }
    // Bound what a simulator that never ends a line can make the host keep.
    if (it->pendingOutput.size() > 64 * 1024) {
        lines.append(QString::fromUtf8(it->pendingOutput));
        it->pendingOutput.clear();
    }
    for (const QString &line : std::as_const(lines))
        Q_EMIT simulatorOutput(id, line);
}

void HostSession::setState(const QByteArray &id, SimState state)
{
    auto it = m_simulators.find(id);
    if (it == m_simulators.end())
        return;
    it->info.state = state;
    Q_EMIT simulatorStateChanged(id);
}
