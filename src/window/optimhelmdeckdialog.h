#pragma once

// The helmdeck's one non-modal top-level window. It lays out the button
// column and the panels (sweep and status in a row, then the variables and
// goals panels side by side in a splitter), forwards every user action as a
// signal to the controller, shows a timed "waiting" box while the simulator
// has not answered a pause or continue, and blocks user input meanwhile.
// When the answer is still out after waitOfferDelay(), the box says that the
// simulator does not answer and offers "Keep Waiting" and "Stop the
// Simulator" (stopSimulatorRequested(), which the controller hands to the
// host). It never talks to the simulator itself.
//
// Closing: a close request (title bar, "Close", QWidget::close()) is first
// ignored and closeRequested() is emitted; the controller runs its close
// flow in a slot connected directly to it and calls allowClose() when the
// window may go. Only then is the close accepted, the geometry saved and the
// window deleted (delete-on-close). A close that arrives after allowClose()
// goes through at once.

#include "state/optimhelmdecktunemode.h"
#include "windoweditors.h"

#include "model/optiminputrecords.h"
#include "model/optimitemlist.h"

#include <QIcon>
#include <QPoint>
#include <QPointer>
#include <QWidget>

class ButtonPanel;
class GoalsPanel;
class OptimHelmdeckControllerState;
class OptimizationModelObject;
class QDialogButtonBox;
class QSplitter;
class QTimer;
class StatusPanel;
class SweepPanel;
class TempMessageBox;
class VarsPanel;

class OptimHelmdeckDialog : public QWidget
{
    Q_OBJECT

public:
    // editors: this window's own editor hooks (none: the edit buttons stay
    // disabled and Continue goes unchecked).
    OptimHelmdeckDialog(OptimHelmdeckControllerState *state, const QIcon &icon,
                        const OptimHelmdeckEditorHooks &editors = {}, QWidget *parent = nullptr);
    ~OptimHelmdeckDialog() override;

    // The model on view: handed to the button panel and the status,
    // variables and goals panels. Held guarded.
    void setModel(OptimizationModelObject *model);
    OptimizationModelObject *model() const;

    // The controller confirms a close (from its slot on closeRequested()).
    void allowClose();

    void setTuneMode(OptimHelmdeckTuneMode mode);
    // Hands the editor hooks to the buttons and panels.
    void setEditorHooks(const OptimHelmdeckEditorHooks &editors);
    // Blocks (or frees) the buttons and panels, without the waiting box.
    void preventUserInput(bool preventInput);

    // Writes "size", "pos", "splitter1Sizes" and the panels' own keys.
    void saveSettings();

    ButtonPanel *buttonPanel() const { return m_buttonPanel; }
    SweepPanel *sweepPanel() const { return m_sweepPanel; }
    StatusPanel *statusPanel() const { return m_statusPanel; }
    VarsPanel *varsPanel() const { return m_varsPanel; }
    GoalsPanel *goalsPanel() const { return m_goalsPanel; }
    QSplitter *splitter() const { return m_splitter; }
    // Null until the first wait needed it.
    TempMessageBox *waitBox() const { return m_waitBox; }
    // How long a pause or continue waits before the box offers its choices.
    void setWaitOfferDelay(int milliseconds) { m_waitOfferDelayMs = milliseconds; }
    int waitOfferDelay() const { return m_waitOfferDelayMs; }

Q_SIGNALS:
    void continueOptimization();
    void pauseOptimization();
    void variableChanged(const QString &name, const QString &value);
    void tuneModeChanged(OptimHelmdeckTuneMode mode);
    void startTuning();
    void stopTuning();
    void resetTuning();
    void simulate();
    void waitingForSimulationToFinish(bool waiting);
    void updateDesignClicked();
    void storeState();
    void recallState();
    void optionsClicked();
    void closeRequested();
    void algorithmDefinitionChanged(const OptimAlgInput &editedAlgorithm);
    void goalDefinitionsChanged(const OptimItemList<OptimGoalInput> &newGoals);
    void variableDefinitionsChanged(const OptimItemList<OptimVarInput> &newVariables);
    void historyGraphRightMouseClick(const QPoint &globalPosition);
    // A goal plot's "Save Image...": the graph to save.
    void saveImageRequested(QWidget *graph);
    void optimizationSelected(OptimizationModelObject *model);
    void helpRequested(const QString &topic);
    // The user chose "Stop the Simulator" in the waiting box.
    void stopSimulatorRequested();

public Q_SLOTS:
    void setWaitingForSimulatorToPause(bool waitingForPause);
    void setWaitingForSimulatorToContinue(bool waitingForContinue);
    void setWaitingForSimulatorToSimulate(bool waitingForSimulation);
    void updateTuning(bool isTuning);
    void setDataIsStale(bool dataIsStale);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void restoreSettings();
    void setWaiting(bool waiting, const QString &message);
    // The wait outlasted the offer delay: the box shows and offers its choices.
    void offerWaitChoices();
    // The box shows message, its choices hidden, and the offer delay starts again.
    void restartWaitOffer(const QString &message);

    QPointer<OptimHelmdeckControllerState> m_state;
    QPointer<OptimizationModelObject> m_model;
    bool m_closeAccepted = false;
    bool m_closeFlowRunning = false;
    ButtonPanel *m_buttonPanel;
    SweepPanel *m_sweepPanel;
    StatusPanel *m_statusPanel;
    VarsPanel *m_varsPanel;
    GoalsPanel *m_goalsPanel;
    QSplitter *m_splitter;
    TempMessageBox *m_waitBox = nullptr;
    QDialogButtonBox *m_waitChoices = nullptr;
    QTimer *m_waitOfferTimer = nullptr;
    QString m_waitMessage;
    int m_waitOfferDelayMs = 5000;
};
