#include "goallistwidget.h"

#include "goalchecks.h"

GoalListWidget::GoalListWidget(QWidget *parent)
    : QListWidget(parent)
{
    setObjectName(QStringLiteral("goalList"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::currentRowChanged, this, &GoalListWidget::handleSelection);
}

void GoalListWidget::setGoals(const OptimItemList<OptimGoalInput> &goals)
{
    {
        const QSignalBlocker blocker(this);
        clear();
        m_goals.clear();
        for (const OptimGoalInput &goal : goals) {
            m_goals.push_back(std::make_unique<OptimGoalInput>(goal));
            addItem(goal.name());
            markRow(count() - 1, goalcheck::faultCount(goal) > 0);
        }
    }
    Q_EMIT goalSelected(nullptr);
}

OptimItemList<OptimGoalInput> GoalListWidget::goals() const
{
    OptimItemList<OptimGoalInput> goals;
    for (const auto &goal : m_goals)
        goals.append(*goal);
    return goals;
}

QStringList GoalListWidget::invalidGoalNames() const
{
    QStringList names;
    for (const auto &goal : m_goals) {
        if (goalcheck::faultCount(*goal) > 0)
            names.append(goal->name());
    }
    return names;
}

void GoalListWidget::markRow(int row, bool faulty)
{
    QListWidgetItem *entry = item(row);
    if (!entry)
        return;
    entry->setBackground(faulty ? QBrush(Qt::yellow) : QBrush());
    entry->setToolTip(faulty ? QStringLiteral("Goal has invalid entries") : QString());
}

void GoalListWidget::updateErrorCountForSelectedGoal(int count)
{
    const int row = currentRow();
    if (row < 0 || row >= int(m_goals.size()))
        return;
    // The name may have been edited too.
    if (item(row)->text() != m_goals.at(row)->name())
        item(row)->setText(m_goals.at(row)->name());
    markRow(row, count > 0);
}

void GoalListWidget::handleSelection(int row)
{
    Q_EMIT goalSelected(row >= 0 && row < int(m_goals.size()) ? m_goals.at(row).get() : nullptr);
}
