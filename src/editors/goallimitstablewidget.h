#pragma once

// The limit lines of one goal as a table, edited in place in the goal given
// to setGoal. Columns: "Name", "   Type   ", "Min", "Max", "Weight", then a
// pair of columns (lower, upper bound) per independent variable.
//
// Which value a type shows where: ">" and "=" their value under Min, "<"
// its value under Max, "Inside" and "Outside" their first value under Min
// and their second under Max. A cell a type does not use is greyed and
// cannot be edited. Faulty cells turn yellow with their message as tooltip.

#include <QHash>
#include <QStringList>
#include <QTableWidget>

class OptimGoalInput;

class GoalLimitsTableTWidget : public QTableWidget
{
    Q_OBJECT

public:
    enum Column { NameColumn, TypeColumn, MinColumn, MaxColumn, WeightColumn, FirstRangeColumn };

    explicit GoalLimitsTableTWidget(QWidget *parent = nullptr);
    ~GoalLimitsTableTWidget() override;

    int errorCount() const { return m_errorCount; }

Q_SIGNALS:
    void rowSelected(int row, int rows);
    void errorCountChanged(int count);

public Q_SLOTS:
    // The goal edited in place (not owned); null shows an empty table.
    void setGoal(OptimGoalInput *goal);
    void updateLimitInfo(QTableWidgetItem *item);
    // Rebuilds the range columns after the goal's independent variables changed.
    void updateRangeVars();
    void appendRow();
    void moveSelectedRowUp();
    void deleteSelectedRow();
    void moveSelectedRowDown();
    void handleSelectionChanged();
    void handleRowsInsertedOrRemoved();

private:
    void populate();
    void showProblems();
    void updateLimitType(int row, int typeIndex);
    void moveSelectedRow(int by);
    void selectRow(int row, int column);
    // Whether the cell at column shows the limit's first (1) or second (2)
    // value for its type, or none (0).
    static int valueShown(int limitType, int column);

    // The second values of the goal's limits as last typed, one per limit,
    // kept while the type in use has none.
    QStringList &keptSecondValues();

    OptimGoalInput *m_goal = nullptr;
    QHash<const OptimGoalInput *, QStringList> m_keptSecondValues;
    int m_errorCount = 0;
    bool m_populating = false;
};
