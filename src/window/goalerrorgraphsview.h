#pragma once

// Per goal a card with its plot (traces against limit lines) and its error
// history, in as many columns as the width allows; a card selects its goal
// (goalSelected).

#include <QFrame>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QScrollArea>

class GoalGraphWidget;
class GraphWidget;
class OptimizationModelObject;

// One goal's card in GoalErrorGraphsView: the goal plot above, the goal's
// error history below.
class GoalErrorGraphCard : public QFrame
{
    Q_OBJECT

public:
    explicit GoalErrorGraphCard(int goalIndex, QWidget *parent = nullptr);

    GoalGraphWidget *goalGraph() const { return m_goalGraph; }
    GraphWidget *historyGraph() const { return m_historyGraph; }
    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }
    // Gives the plot and the history their share of height.
    void setCardHeight(int height);

Q_SIGNALS:
    void clicked();

private:
    GoalGraphWidget *m_goalGraph;
    GraphWidget *m_historyGraph;
    bool m_selected = false;
};

class GoalErrorGraphsView : public QScrollArea
{
    Q_OBJECT

public:
    explicit GoalErrorGraphsView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    void setStale(bool stale);
    int goalCount() const { return int(m_cards.size()); }
    GoalErrorGraphCard *card(int goalIndex) const;
    GoalGraphWidget *goalGraph(int goalIndex) const;
    GraphWidget *historyGraph(int goalIndex) const;
    int selectedGoal() const { return m_selectedGoal; }
    int columnCount() const { return m_columns; }

    // See ErrorHistoryView::setNumberOfHistoryPointsToShow.
    void setShowsAllIterations(bool showAll);

public Q_SLOTS:
    void setNumberOfHistoryPointsToShow(int num);
    void setYAutoScaleUsingAllData(bool useAllData);
    void setLogScale(bool on);
    void setXAxisScaling(int scaling);
    void setSelectedGoal(int goalIndex);
    void clearSelection() { setSelectedGoal(-1); }

Q_SIGNALS:
    void goalSelected(int goalIndex);
    void historyGraphRightMouseClick(const QPoint &globalPosition);
    // A goal plot's "Save Image...".
    void saveImageRequested(QWidget *graph);

protected:
    void resizeEvent(QResizeEvent *event) override;

private Q_SLOTS:
    void updateGoal(int n);
    void updateAll();

private:
    void relayout();
    void applyPointsShown(GraphWidget *graph) const;

    QPointer<OptimizationModelObject> m_model;
    QWidget *m_content;
    QList<GoalErrorGraphCard *> m_cards;
    QLabel *m_emptyLabel;
    int m_numPointsShown = 0;
    bool m_showAll = false;
    bool m_useAllData = true;
    bool m_logScale = false;
    int m_xAxisScaling = 2;
    int m_selectedGoal = -1;
    bool m_stale = false;
    int m_columns = 1;
};
