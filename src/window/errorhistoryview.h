#pragma once

// The "Error history" page of the goals panel: the optimization's error of
// every iteration (the algorithm history) as a history graph, titled with a
// summary of the current and the initial error.

#include "graphs/graphwidget.h"

#include <QPointer>

class OptimHistoryValues;
class OptimizationModelObject;

// Shows a history of value texts as one series of a graph: its numbers,
// unless some texts need the graph's own reading (a unit or an engineering
// suffix), in which case the texts, only the new ones read on each update.
void showHistorySeries(GraphWidget *graph, const OptimHistoryValues &values, int series = 0);

class ErrorHistoryView : public GraphWidget
{
    Q_OBJECT

public:
    explicit ErrorHistoryView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    // The "all iterations" setting: the graph's axis spans the iterations
    // the run can reach (numPoints), and once the history is longer than
    // that (a continued run, or a count not known yet) it shows all points.
    void setNumberOfHistoryPointsToShow(int numPoints, bool showAll);
    // "Current error: c  Initial error: i" (the latest and the first text of
    // the history), or "Error not available." while the history is empty.
    QString summaryText() const { return m_summary; }

private Q_SLOTS:
    void updateView();

private:
    void applyPointsShown();

    QPointer<OptimizationModelObject> m_model;
    QString m_summary;
    int m_requestedPoints = 0;
    bool m_showAll = false;
};
