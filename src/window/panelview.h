#pragma once

// Base of the window's panels (status, sweep, variables, goals): a titled
// group box that shows the model on view, can be told to refuse user input
// while the helmdeck waits for the simulator, and keeps its own settings.

#include <QGroupBox>
#include <QPointer>

class OptimHelmdeckControllerState;
class OptimizationModelObject;
class QSettings;

class PanelView : public QGroupBox
{
    Q_OBJECT

public:
    PanelView(const QString &title, OptimHelmdeckControllerState *state, QWidget *parent = nullptr);

    OptimizationModelObject *model() const;
    OptimHelmdeckControllerState *state() const;
    bool inputPrevented() const { return m_preventInput; }

    // Whether the model is the sweep's current optimization, the newest one,
    // which alone receives the simulator's messages and the user's changes
    // (true without a sweep). An earlier one is on view only to be looked at.
    static bool isCurrentOptimization(const OptimHelmdeckControllerState *state, const OptimizationModelObject *model);
    // The tooltip of a control disabled while an earlier optimization is on
    // view: "...; switch to the current optimization under View to " + action.
    static QString earlierOptimizationReason(const QString &action);

public Q_SLOTS:
    // Disconnects everything the old model sends to the panel, then takes
    // the new one. Panels extend it to connect and redraw. A model that is
    // deleted while on view is replaced by none.
    virtual void setModel(OptimizationModelObject *model);
    virtual void preventUserInput(bool preventInput);
    // Given the open settings object (inside the helmdeck's group).
    virtual void saveSettings(QSettings &settings);
    virtual void restoreSettings(QSettings &settings);

Q_SIGNALS:
    void helpRequested(const QString &topic);

protected:
    QPointer<OptimHelmdeckControllerState> m_state;
    QPointer<OptimizationModelObject> m_model;
    bool m_preventInput = false;
};
