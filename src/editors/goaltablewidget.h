#pragma once

// One goal for editing: its info on top and its limit lines below in a
// "Limit lines" group with the row buttons. The goal editor shows the goal
// selected in its list; the host embeds a widget of its own in its goal
// dialog (optimHelmdeck_getGoalTableWidget) and reads the goal back
// (optimHelmdeck_getGoalTableWidgetState).

#include "model/optiminputrecords.h"

#include <QWidget>

#include <optional>

class GoalInfoWidget;
class GoalLimitsTableTWidget;
class RowOperationsWidget;

class GoalTableWidget : public QWidget
{
    Q_OBJECT

public:
    explicit GoalTableWidget(QWidget *parent = nullptr);
    ~GoalTableWidget() override;

    // A widget that holds a goal of its own, as the host gets it.
    static GoalTableWidget *forGoal(const OptimGoalInput &goal, const QStringList &analyses,
                                    const QStringList &expressions);

    // The goal shown; null when none.
    const OptimGoalInput *goal() const { return m_goal; }
    // The goal as it may be handed out: none while it has faults.
    std::optional<OptimGoalInput> validGoal() const;
    int errorCount() const { return m_infoErrors + m_limitErrors; }

    void setExpressionChoices(const QStringList &choices);
    void setAnalysisChoices(const QStringList &choices);
    void setIndepVarChoices(const QStringList &choices);

    GoalInfoWidget *infoWidget() const { return m_info; }
    GoalLimitsTableTWidget *limitsTable() const { return m_limits; }
    RowOperationsWidget *rowButtons() const { return m_rowButtons; }

Q_SIGNALS:
    void errorCountChanged(int count);

public Q_SLOTS:
    // The goal edited in place (not owned); null shows nothing.
    void setGoal(OptimGoalInput *goal);
    void updateErrorCountGoalInfo(int count);
    void updateErrorCountLimitsTable(int count);

private:
    OptimGoalInput *m_goal = nullptr;
    OptimGoalInput m_ownGoal;
    GoalInfoWidget *m_info;
    GoalLimitsTableTWidget *m_limits;
    RowOperationsWidget *m_rowButtons;
    int m_infoErrors = 0;
    int m_limitErrors = 0;
};
