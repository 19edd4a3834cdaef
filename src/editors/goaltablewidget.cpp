#include "goaltablewidget.h"

#include "goalchecks.h"
#include "goalinfowidget.h"
#include "goallimitstablewidget.h"
#include "goalrowwidgets.h"

#include <QGroupBox>
#include <QVBoxLayout>


GoalTableWidget::GoalTableWidget(QWidget *parent)
    : QWidget(parent)
    , m_info(new GoalInfoWidget)
    , m_limits(new GoalLimitsTableTWidget)
    , m_rowButtons(new RowOperationsWidget)
{
    setObjectName(QStringLiteral("goalTableWidget"));
    auto *group = new QGroupBox(QStringLiteral("Limit lines"));
    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_limits, 1);
    groupLayout->addWidget(m_rowButtons);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_info);
    layout->addWidget(group, 1);

    connect(m_rowButtons, &RowOperationsWidget::addRow, m_limits, &GoalLimitsTableTWidget::appendRow);
    connect(m_rowButtons, &RowOperationsWidget::moveRowUp, m_limits, &GoalLimitsTableTWidget::moveSelectedRowUp);
    connect(m_rowButtons, &RowOperationsWidget::deleteRow, m_limits, &GoalLimitsTableTWidget::deleteSelectedRow);
    connect(m_rowButtons, &RowOperationsWidget::moveRowDown, m_limits, &GoalLimitsTableTWidget::moveSelectedRowDown);
    connect(m_limits, &GoalLimitsTableTWidget::rowSelected, m_rowButtons, &RowOperationsWidget::rowSelected);
    connect(m_info, &GoalInfoWidget::rangeVarsChanged, m_limits, &GoalLimitsTableTWidget::updateRangeVars);
    connect(m_info, &GoalInfoWidget::errorCountChanged, this, &GoalTableWidget::updateErrorCountGoalInfo);
    connect(m_limits, &GoalLimitsTableTWidget::errorCountChanged, this, &GoalTableWidget::updateErrorCountLimitsTable);

    setGoal(nullptr);
}

GoalTableWidget::~GoalTableWidget()
{
    // The children go after this part of the widget (and its own goal):
    // nothing they signal on the way may reach it.
    m_info->disconnect(this);
    m_limits->disconnect(this);
    m_goal = nullptr;
}

GoalTableWidget *GoalTableWidget::forGoal(const OptimGoalInput &goal, const QStringList &analyses,
                                          const QStringList &expressions)
{
    auto *widget = new GoalTableWidget;
    widget->m_ownGoal = goal;
    widget->setAnalysisChoices(analyses);
    widget->setExpressionChoices(expressions);
    widget->setGoal(&widget->m_ownGoal);
    widget->resize(640, 360);
    return widget;
}

std::optional<OptimGoalInput> GoalTableWidget::validGoal() const
{
    if (!m_goal || goalcheck::faultCount(*m_goal) > 0)
        return std::nullopt;
    return *m_goal;
}

void GoalTableWidget::setExpressionChoices(const QStringList &choices)
{
    m_info->setExpressionChoices(choices);
}

void GoalTableWidget::setAnalysisChoices(const QStringList &choices)
{
    m_info->setAnalysisChoices(choices);
}

void GoalTableWidget::setIndepVarChoices(const QStringList &choices)
{
    m_info->setIndepVarChoices(choices);
}

void GoalTableWidget::setGoal(OptimGoalInput *goal)
{
    m_goal = goal;
    m_info->setGoal(goal);
    m_limits->setGoal(goal);
    setEnabled(goal);
}

void GoalTableWidget::updateErrorCountGoalInfo(int count)
{
    m_infoErrors = count;
    Q_EMIT errorCountChanged(errorCount());
}

void GoalTableWidget::updateErrorCountLimitsTable(int count)
{
    m_limitErrors = count;
    Q_EMIT errorCountChanged(errorCount());
}
