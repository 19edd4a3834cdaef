#pragma once

// The "Goals" list of the goal editor: one row per goal, by name. It holds
// the copies being edited; selecting a row hands that goal out for editing
// in place. Goals with faults are yellow with "Goal has invalid entries".

#include "model/optiminputrecords.h"
#include "model/optimitemlist.h"

#include <QListWidget>

#include <memory>
#include <vector>

class GoalListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit GoalListWidget(QWidget *parent = nullptr);

    // Takes copies of the goals; marks those with faults and selects none.
    void setGoals(const OptimItemList<OptimGoalInput> &goals);
    // The goals as edited so far.
    OptimItemList<OptimGoalInput> goals() const;
    // Names of the goals with faults, in list order.
    QStringList invalidGoalNames() const;

Q_SIGNALS:
    void goalSelected(OptimGoalInput *goal);

public Q_SLOTS:
    void updateErrorCountForSelectedGoal(int count);
    void handleSelection(int row);

private:
    void markRow(int row, bool faulty);

    // Each goal on its own, so that the goal being edited in place stays
    // where it is whatever is copied from the list.
    std::vector<std::unique_ptr<OptimGoalInput>> m_goals;
};
