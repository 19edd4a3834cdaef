#pragma once

// The window's column of buttons: the view-only note, Pause/Continue,
// Simulate, Update Design..., the "States" group (Store..., Recall...),
// Options..., Close and Help. Which are shown and enabled follows the
// model's status, the controller state's wait and interactive flags, and
// the window's input block.

#include "windoweditors.h"

#include <QPointer>
#include <QWidget>

class OptimHelmdeckControllerState;
class OptimizationModelObject;
class QGroupBox;
class QLabel;
class QPushButton;

class ButtonPanel : public QWidget
{
    Q_OBJECT

public:
    ButtonPanel(OptimHelmdeckControllerState *state, QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    OptimizationModelObject *model() const;
    bool inputPrevented() const { return m_preventInput; }
    bool waitingForSimulationToFinish() const { return m_waitingForSimulationToFinish; }

    static QString viewOnlyExplanation();

Q_SIGNALS:
    void continueOptimization();
    void pauseOptimization();
    void simulate();
    void updateDesignClicked();
    void closeClicked();
    void optionsClicked();
    void helpRequested(const QString &topic);
    void storeState();
    void recallState();

public Q_SLOTS:
    void updateButtons();
    void preventUserInput(bool preventInput);
    void setWaitingForSimulationToFinish(bool waiting);
    // The window's editors: the algorithm-type warning runs before Continue.
    void setEditorHooks(const OptimHelmdeckEditorHooks &hooks);

private Q_SLOTS:
    void pauseOrContinue();
    void displayBatchModeExplanation();
    void handleHelpRequest();

private:
    QPointer<OptimizationModelObject> m_model;
    QPointer<OptimHelmdeckControllerState> m_state;
    bool m_preventInput = false;
    bool m_waitingForSimulationToFinish = false;
    OptimHelmdeckEditorHooks m_editors;

    QLabel *m_viewOnlyLabel;
    QPushButton *m_pauseContinue;
    QPushButton *m_simulate;
    QPushButton *m_updateDesign;
    QGroupBox *m_statesGroup;
    QPushButton *m_store;
    QPushButton *m_recall;
    QPushButton *m_options;
    QPushButton *m_close;
    QPushButton *m_help;
};
