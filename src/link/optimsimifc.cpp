#include "optimsimifc.h"

#include "link/optimkuvolink.h"

#include <QDebug>

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

void OptimSimIFC::pauseOptimizationSlot()
{
    // The pause goes to the host's session process, which relays it.
    const int address = m_link ? m_link->hostProcessAddress() : -1;
    m_lastSendOk = m_link && m_link->sendPlain(address, "OPTIM_HELMDECK_PAUSE " + m_simulatorId);
}

void OptimSimIFC::continueOptimizationSlot()
{
    m_lastSendOk = m_link && m_link->sendCommand("CONTINUE");
}

void OptimSimIFC::simulateSlot(long commandId)
{
    m_lastSendOk = m_link && m_link->sendCommand("SIMULATE " + QByteArray::number(qint64(commandId)));
}

void OptimSimIFC::finishSimulationSlot()
{
    m_lastSendOk = m_link && m_link->sendCommand("FINISH_SIMULATION");
}

void OptimSimIFC::killSimulatorSlot()
{
    if (isSimulatorCurrent())
        m_host.stopAndReleaseSimulator();
}

void OptimSimIFC::disconnectSimulatorSlot()
{
    if (!m_link || m_link->simulatorAddress() < 0) {
        m_lastSendOk = true;
        return;
    }
    m_lastSendOk = m_link->sendPlain(m_link->simulatorAddress(), "OPTIM_HELMDECK_DISCONNECT");
}

void OptimSimIFC::changeVarValuesSlot(OptimIterVariableValues values)
{
    m_lastSendOk = m_link && m_link->sendMessage(values);
}

void OptimSimIFC::changeAlgorithmDefinitionSlot(OptimIterAlgorithmDefinition algorithmDef)
{
    m_lastSendOk = m_link && m_link->sendMessage(algorithmDef);
}

void OptimSimIFC::changeGoalDefinitionsSlot(OptimIterGoalDefinitions goalDefs)
{
    m_lastSendOk = m_link && m_link->sendMessage(goalDefs);
}

void OptimSimIFC::changeVariableDefinitionsSlot(OptimIterVariableDefinitions varDefs)
{
    m_lastSendOk = m_link && m_link->sendMessage(varDefs);
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
