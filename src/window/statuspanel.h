#pragma once

// The "Status" panel: status icon, algorithm text, progress, simulation
// error and stopping reason, and the "Edit algorithm..." button.

#include "panelview.h"
#include "windoweditors.h"

class AlgorithmTextView;
class OptimAlgInput;
class ProgressView;
class QPushButton;
class SimulationErrorView;
class StatusIconView;
class StoppingReasonView;

class StatusPanel : public PanelView
{
    Q_OBJECT

public:
    StatusPanel(OptimHelmdeckControllerState *state, QWidget *parent = nullptr);

    StatusIconView *statusIconView() const { return m_iconView; }
    ProgressView *progressView() const { return m_progressView; }

    void setModel(OptimizationModelObject *model) override;
    void preventUserInput(bool preventInput) override;
    // The window's editors; without an algorithm editor "Edit
    // algorithm..." stays disabled.
    void setEditorHooks(const OptimHelmdeckEditorHooks &hooks);

Q_SIGNALS:
    void algorithmDefinitionChanged(const OptimAlgInput &editedAlgorithm);

public Q_SLOTS:
    void showEditAlgorithmDialog();
    void setWaitingForSimulationToFinish(bool waiting);

private Q_SLOTS:
    void updateButtons();

private:
    StatusIconView *m_iconView;
    AlgorithmTextView *m_algorithmView;
    ProgressView *m_progressView;
    SimulationErrorView *m_errorView;
    StoppingReasonView *m_reasonView;
    QPushButton *m_editAlgorithm;
    OptimHelmdeckEditorHooks m_editors;
    PanelEditorGuard m_editor;
};
