#include "errorcontributiongraphview.h"

#include "graphs/colorset.h"
#include "graphs/graphscale.h"
#include "model/optimizationmodelobject.h"
#include "modelbinding.h"

#include <algorithm>

ErrorContributionGraphView::ErrorContributionGraphView(QWidget *parent)
    : BarGraph(parent)
{
    setObjectName(QStringLiteral("errorContributionGraphView"));
    setEmptyText(QStringLiteral("No goals to view"));
    connect(this, qOverload<int>(&BarGraph::barSelected), this, &ErrorContributionGraphView::handleBarSelected);
}

void ErrorContributionGraphView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        // The bars are set once for all goals an iteration changes.
        connect(m, &OptimizationModelObject::goalChanged, this, [this, m] {
            if (!m->isChangingGoals())
                updateAll();
        });
        connect(m, &OptimizationModelObject::goalsChanged, this, &ErrorContributionGraphView::updateAll);
        connect(m, &OptimizationModelObject::goalAdded, this, &ErrorContributionGraphView::updateAll);
    }, OnModelDeleted::UnbindView);
    updateAll();
}

void ErrorContributionGraphView::setStale(bool stale)
{
    m_stale = stale;
    for (int i = 0; i < barCount(); ++i)
        bar(i)->setStale(stale);
}

void ErrorContributionGraphView::setSelectedGoal(int goalIndex)
{
    m_selectedGoal = goalIndex;
    setBarSelected(goalIndex);
}

void ErrorContributionGraphView::handleBarSelected(int barIndex)
{
    m_selectedGoal = barIndex;
    Q_EMIT goalSelected(barIndex);
}

void ErrorContributionGraphView::updateAll()
{
    const int n = m_model ? int(m_model->model().goalCount()) : 0;
    setBarCount(n);
    if (n == 0)
        return;
    const OptimizationModel &model = m_model->model();
    // Bar lengths relative to the largest contribution; the text adds each
    // goal's share of the sum of contributions.
    std::vector<std::optional<double>> values(static_cast<size_t>(n));
    double largest = 0;
    double sum = 0;
    for (int k = 0; k < n; ++k) {
        if (k >= model.output().goals().size())
            continue;
        values[size_t(k)] = GraphScale::parseValue(model.goalOutput(k).errorContribution());
        if (values[size_t(k)] && *values[size_t(k)] > 0) {
            largest = std::max(largest, *values[size_t(k)]);
            sum += *values[size_t(k)];
        }
    }
    const ColorSet colors(ColorSet::GoalColors);
    for (int k = 0; k < n; ++k) {
        BarGraphBar *b = bar(k);
        const OptimGoalInput &goal = model.goal(k);
        b->setLabel(goal.name().isEmpty() ? QStringLiteral("Goal %1").arg(k + 1) : goal.name());
        b->setColor(colors.color(k));
        b->setStale(m_stale);
        const QString text = k < model.output().goals().size() ? model.goalOutput(k).errorContribution() : QString();
        if (text.isEmpty()) {
            b->setActive(false);
            b->setValue(0, QStringLiteral("Not active"));
            continue;
        }
        b->setActive(true);
        const std::optional<double> v = values[size_t(k)];
        if (!v) {
            // A text that is not a number is shown as it is, without a bar.
            b->setValue(std::nan(""), text);
            continue;
        }
        const double fraction = largest > 0 ? std::max(0.0, *v) / largest : 0.0;
        QString shown = text;
        if (sum > 0 && *v >= 0) {
            const double share = 100.0 * *v / sum;
            const QString percent = share > 0 && share < 0.1 ? QStringLiteral("<0.1")
                                                              : QString::number(share, 'f', share > 0 && share < 10 ? 1 : 0);
            shown += QStringLiteral("  (%1 %)").arg(percent);
        }
        b->setValue(fraction, shown);
    }
    setBarSelected(m_selectedGoal);
}
