#pragma once

// The simulator of one open helmdeck, reached over KUVO through the
// plug-in's link. Slots become commands, plain messages or data blocks;
// messages the simulator sends come out as modelChanged(...) signals.

#include "link/optimabstractsimifc.h"
#include "hostifc/optimhostcalls.h"

#include <functional>

class OptimKuvoLink;

class OptimSimIFC : public OptimAbstractSimIFC
{
    Q_OBJECT

public:
    OptimSimIFC(OptimKuvoLink *link, const OptimHostCalls &host, const QByteArray &designName,
                const QByteArray &simulatorId, QObject *parent = nullptr);

    const QByteArray &simulatorId() const { return m_simulatorId; }
    const QByteArray &designName() const { return m_designName; }
    bool isConnected() const { return m_connected; }
    // The analysis ended or another simulator became current: for good.
    void setDisconnected() { m_connected = false; }

    bool isSimulatorCurrent() override;

    // The result of the last slot that sent something. A block's result is
    // known once its reply came: until then it is false.
    bool lastSendSucceeded() const { return m_lastSendOk; }

    // Writes the chosen parts of an optimization into the design through the
    // host: true when the host answered that it did, else false with the
    // reason. The plug-in installs it; without one the design is not updated.
    using DesignUpdater = std::function<bool(const OptimModelInput &input, bool algorithm, bool goals,
                                             bool variables, QString *problem)>;
    void setDesignUpdater(DesignUpdater updater) { m_designUpdater = std::move(updater); }

public Q_SLOTS:
    void pauseOptimizationSlot() override;
    void continueOptimizationSlot() override;
    void simulateSlot(long commandId) override;
    void finishSimulationSlot() override;
    void killSimulatorSlot() override;
    void disconnectSimulatorSlot() override;
    void changeVarValuesSlot(OptimIterVariableValues values) override;
    void changeAlgorithmDefinitionSlot(OptimIterAlgorithmDefinition algorithmDef) override;
    void changeGoalDefinitionsSlot(OptimIterGoalDefinitions goalDefs) override;
    void changeVariableDefinitionsSlot(OptimIterVariableDefinitions varDefs) override;
    void updateDesign(OptimizationModel model, bool updateAlgorithm, bool updateGoals, bool updateVariables) override;
    void displayHelp(QString topic) override;

private:
    // A new send: its result is not known yet. The function returned takes
    // a block's result when its reply comes, unless a later send came first.
    std::function<void(bool)> startSend();
    void setSendResult(bool ok);

    OptimKuvoLink *m_link;
    OptimHostCalls m_host;
    QByteArray m_simulatorId;
    QByteArray m_designName;
    bool m_connected = true;
    bool m_lastSendOk = true;
    quint64 m_sendSerial = 0;
    DesignUpdater m_designUpdater;
};
