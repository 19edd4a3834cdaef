#include "panelview.h"

#include "state/optimhelmdeckcontrollerstate.h"
#include "modelbinding.h"

PanelView::PanelView(const QString &title, OptimHelmdeckControllerState *state, QWidget *parent)
    : QGroupBox(title, parent)
    , m_state(state)
{
}

OptimizationModelObject *PanelView::model() const
{
    return m_model;
}

OptimHelmdeckControllerState *PanelView::state() const
{
    return m_state;
}

bool PanelView::isCurrentOptimization(const OptimHelmdeckControllerState *state, const OptimizationModelObject *model)
{
    return !state || state->models().isEmpty() || state->models().constLast() == model;
}

QString PanelView::earlierOptimizationReason(const QString &action)
{
    return QStringLiteral("Shows an earlier optimization of the sweep; switch to the current optimization under View to %1.").arg(action);
}

void PanelView::setModel(OptimizationModelObject *model)
{
    // A model deleted while on view leaves the panel without one, and the
    // panel redraws and disables as for no model. Derived panels connect
    // their own slots after this.
    bindViewToModel(this, m_model, model, [](OptimizationModelObject *) {}, OnModelDeleted::UnbindView);
}

void PanelView::preventUserInput(bool preventInput)
{
    m_preventInput = preventInput;
}

void PanelView::saveSettings(QSettings &)
{
}

void PanelView::restoreSettings(QSettings &)
{
}
