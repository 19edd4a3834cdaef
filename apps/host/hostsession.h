#pragma once

// The host's session role: the simulators the host starts and the KUVO
// client "tolvanesess" that stands for the host's session process.
//
// - startSimulator runs helmdeck-sim on a design with an id "SIM1", "SIM2",
//   ... and the bus name "sim-1", "sim-2", ...; the newest running simulator
//   is the current one (desim_get_current_simulator_id).
// - A kind-11 "OPTIM_HELMDECK_PAUSE <simId>" that reaches "tolvanesess" is
//   relayed, unchanged, to the simulator started with that id.
// - When a simulator process ends by itself (a normal exit, whatever its
//   code), "NOTIFY SESS ANALYZE_DONE <simId>" goes to the plug-in (kind 11).
// - stopAndRelease sends "NOTIFY OPTIM_HELMDECK_SIMULATOR_BEING_KILLED <simId>"
//   to the plug-in and then kills the process; no ANALYZE_DONE follows.
// - A simulator that crashes or is killed from outside is announced by the
//   broker (kind 13), not by the session.

#include "kuvo/kuvoclient.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>

class HostTrace;

class HostSession : public QObject
{
    Q_OBJECT

public:
    enum class SimState { Unknown, Starting, Running, Exited, Crashed, Killed, FailedToStart };

    struct SimulatorInfo
    {
        QByteArray id;
        QByteArray busName;
        SimState state = SimState::Unknown;
        int exitCode = 0;
        qint64 pid = 0;
    };

    explicit HostSession(const HostTrace *trace, QObject *parent = nullptr);
    ~HostSession() override;

    // Joins the bus as "tolvanesess"; pluginAddress is where notifications
    // go (the host's "tolvane" client), -1 to look it up when needed.
    bool connectToBus(const QString &kuvoPath, int pluginAddress, QString *error);
    void setSimulatorProgram(const QString &program) { m_program = program; }
    QString simulatorProgram() const { return m_program; }
    void setExtraArguments(const QStringList &arguments) { m_extraArguments = arguments; }
    void setKuvoPath(const QString &path) { m_kuvoPath = path; }

    // Starts a simulator on the design; answers its id, empty on failure
    // (error says why).
    QByteArray startSimulator(const QString &designPath, QString *error);
    // The current simulator's id: the newest one still running; empty when none.
    QByteArray currentSimulatorId() const;
    // Notifies the plug-in and kills the simulator; false when it is not running.
    bool stopAndRelease(const QByteArray &id);
    // Ends every simulator still running (as stopAndRelease, without the
    // notification when notify is false), waiting at most waitMs in all.
    void stopAll(bool notify, int waitMs);
    // Waits (event loop running) until no simulator runs, at most waitMs.
    bool waitUntilAllEnded(int waitMs);

    bool hasSimulator(const QByteArray &id) const { return m_simulators.contains(id); }
    SimulatorInfo simulator(const QByteArray &id) const;
    QList<QByteArray> simulatorIds() const { return m_simulators.keys(); }
    bool isRunning(const QByteArray &id) const;
    static QString stateText(const SimulatorInfo &info);

    KuvoClient *client() { return &m_client; }

Q_SIGNALS:
    void simulatorStateChanged(const QByteArray &id);
    void simulatorOutput(const QByteArray &id, const QString &line);

private:
    struct Simulator
    {
        SimulatorInfo info;
        QPointer<QProcess> process;
        bool released = false;
        QByteArray pendingOutput;
    };

    bool handleMessage(const KuvoMessage &message);
    void relayPause(const KuvoMessage &message);
    void notifyPlugin(const QByteArray &text);
    void processFinished(const QByteArray &id, int exitCode, QProcess::ExitStatus status);
    void processError(const QByteArray &id, QProcess::ProcessError error);
    void readOutput(const QByteArray &id, bool flushAll);
    void setState(const QByteArray &id, SimState state);

    const HostTrace *m_trace;
    KuvoClient m_client;
    int m_pluginAddress = -1;
    QString m_program;
    QString m_kuvoPath;
    QStringList m_extraArguments;
    int m_nextNumber = 1;
    QMap<QByteArray, Simulator> m_simulators;
    QList<QByteArray> m_startOrder;
};
