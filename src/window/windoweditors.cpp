#include "windoweditors.h"

#include "model/optimizationmodelobject.h"
#include "panelview.h"

PanelEditorLaunch::PanelEditorLaunch(PanelView *panel, OptimizationModelObject *model)
    : m_panel(panel)
    , m_model(model)
{
}

PanelView *PanelEditorLaunch::panelForResult() const
{
    if (!m_panel || !m_model || m_panel->model() != m_model
        || !PanelView::isCurrentOptimization(m_panel->state(), m_model))
        return nullptr;
    return m_panel;
}

void PanelEditorLaunch::help(const QString &topic) const
{
    if (m_panel)
        Q_EMIT m_panel->helpRequested(topic);
}

bool PanelEditorGuard::run(PanelView *panel, const std::function<void()> &refresh,
                           const std::function<void(const OptimizationModel &, const PanelEditorLaunch &)> &editor)
{
    OptimizationModelObject *model = panel ? panel->model() : nullptr;
    if (!model || !editor || m_open)
        return false;
    // The guard belongs to the panel: once the panel is gone, so is this.
    const QPointer<PanelView> self(panel);
    const OptimizationModel snapshot = model->model();
    m_open = true;
    if (refresh)
        refresh();
    editor(snapshot, PanelEditorLaunch(panel, model));
    if (!self)
        return false;
    m_open = false;
    if (refresh)
        refresh();
    return true;
}
