#include "panelview.h"

#include "controller/optimhelmdeckcontrollerstate.h"
#include "model/optimizationmodelobject.h"

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

void PanelView::setModel(OptimizationModelObject *model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    // A model deleted while on view leaves the panel without one, and the
    // panel redraws and disables as for no model.
    if (m_model)
        connect(m_model, &QObject::destroyed, this, [this] { setModel(nullptr); });
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
