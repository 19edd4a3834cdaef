#include "optimsimifc.h"

#include "link/optimkuvolink.h"

#include <QDebug>
#include <QPointer>

OptimSimIFC::OptimSimIFC(OptimKuvoLink *link, const OptimHostCalls &host, const QByteArray &designName,
                         const QByteArray &simulatorId, QObject *parent)
    : OptimAbstractSimIFC(parent)
    , m_link(link)
    , m_host(host)
    , m_simulatorId(simulatorId)
    , m_designName(designName)
{
    m_designName.replace('\\', '/');
}

bool OptimSimIFC::isSimulatorCurrent()
{
    if (!m_connected)
        return false;
    if (m_host.currentSimulatorId() != m_simulatorId)
        m_connected = false;
    return m_connected;
}

std::function<void(bool)> OptimSimIFC::startSend()
{
    const quint64 serial = ++m_sendSerial;
    m_lastSendOk = false;
    return [self = QPointer<OptimSimIFC>(this), serial](bool ok) {
        if (self && self->m_sendSerial == serial)
            self->m_lastSendOk = ok;
    };
}

void OptimSimIFC::setSendResult(bool ok)
{
    ++m_sendSerial;
    m_lastSendOk = ok;
}

void OptimSimIFC::pauseOptimizationSlot()
{
    // The pause goes to the host's session process, which relays it.
    const int address = m_link ? m_link->hostProcessAddress() : -1;
    setSendResult(m_link && m_link->sendPlain(address, "OPTIM_HELMDECK_PAUSE " + m_simulatorId));
}

void OptimSimIFC::continueOptimizationSlot()
{
    if (m_link)
        m_link->sendCommand("CONTINUE", startSend());
    else
        setSendResult(false);
}

void OptimSimIFC::simulateSlot(long commandId)
{
    if (m_link)
        m_link->sendCommand("SIMULATE " + QByteArray::number(qint64(commandId)), startSend());
    else
        setSendResult(false);
}

void OptimSimIFC::finishSimulationSlot()
{
    if (m_link)
        m_link->sendCommand("FINISH_SIMULATION", startSend());
    else
        setSendResult(false);
}

void OptimSimIFC::killSimulatorSlot()
{
    if (isSimulatorCurrent())
        m_host.stopAndReleaseSimulator();
}

void OptimSimIFC::disconnectSimulatorSlot()
{
    if (!m_link || m_link->simulatorAddress() < 0) {
        setSendResult(true);
        return;
    }
    setSendResult(m_link->sendPlain(m_link->simulatorAddress(), "OPTIM_HELMDECK_DISCONNECT"));
}

void OptimSimIFC::changeVarValuesSlot(OptimIterVariableValues values)
{
    if (m_link)
        m_link->sendMessage(values, startSend());
    else
        setSendResult(false);
}

void OptimSimIFC::changeAlgorithmDefinitionSlot(OptimIterAlgorithmDefinition algorithmDef)
{
    if (m_link)
        m_link->sendMessage(algorithmDef, startSend());
    else
        setSendResult(false);
}

void OptimSimIFC::changeGoalDefinitionsSlot(OptimIterGoalDefinitions goalDefs)
{
    if (m_link)
        m_link->sendMessage(goalDefs, startSend());
    else
        setSendResult(false);
}

void OptimSimIFC::changeVariableDefinitionsSlot(OptimIterVariableDefinitions varDefs)
{
    if (m_link)
        m_link->sendMessage(varDefs, startSend());
    else
        setSendResult(false);
}

void OptimSimIFC::updateDesign(OptimizationModel model, bool updateAlgorithm, bool updateGoals, bool updateVariables)
{
    QString problem = QStringLiteral("Updating the design is not available.");
    if (m_designUpdater && m_designUpdater(model.input(), updateAlgorithm, updateGoals, updateVariables, &problem))
        problem.clear();
    else if (problem.isEmpty())
        problem = QStringLiteral("The design was not updated.");
    setDesignUpdateProblem(problem);
}

void OptimSimIFC::displayHelp(QString topic)
{
    m_host.postHelp(topic);
}
