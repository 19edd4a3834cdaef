#include "errorhistoryview.h"

#include "modelbinding.h"
#include "model/optimhistoryvalues.h"

void showHistorySeries(GraphWidget *graph, const OptimHistoryValues &values, int series)
{
    // A history with units is read on from where the graph left it, never
    // written out whole.
    graph->setSeries(values, series);
}

ErrorHistoryView::ErrorHistoryView(QWidget *parent)
    : GraphWidget(parent)
{
    setObjectName(QStringLiteral("errorHistoryView"));
    setSeriesName(0, QStringLiteral("Error"));
    setEmptyText(QStringLiteral("Error not available."));
    updateView();
}

void ErrorHistoryView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &ErrorHistoryView::updateView);
    }, OnModelDeleted::UnbindView);
    // A different model is a different history: parse it from the start.
    clearSeries();
    updateView();
}

void ErrorHistoryView::setNumberOfHistoryPointsToShow(int numPoints, bool showAll)
{
    m_requestedPoints = numPoints;
    m_showAll = showAll;
    applyPointsShown();
}

void ErrorHistoryView::applyPointsShown()
{
    setNumPointsShown(m_showAll && pointCount() > m_requestedPoints ? 0 : m_requestedPoints, m_showAll);
}

void ErrorHistoryView::updateView()
{
    const OptimHistoryValues empty;
    const OptimHistoryValues &values = m_model ? m_model->model().algorithmHistory().values() : empty;
    showHistorySeries(this, values);
    applyPointsShown();
    if (values.isEmpty()) {
        m_summary = QStringLiteral("Error not available.");
    } else {
        auto shown = [](const QString &text) { return text.isEmpty() ? QStringLiteral("none") : text; };
        m_summary = QStringLiteral("Current error: ") + shown(values.last()) + QStringLiteral("   Initial error: ")
            + shown(values.first());
    }
    // The empty graph says "Error not available." in its plot already.
    setTitle(values.isEmpty() ? QString() : m_summary);
}
