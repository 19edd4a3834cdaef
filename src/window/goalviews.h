#pragma once

// The views of the goals panel (besides the error history):
//
// GoalErrorTextView           the overall error: "Error: " or "Best Error: "
//                             with the algorithm output's texts.
// GoalTextView                the goals as a small table (name, error,
//                             contribution, limits); a goal's name is a link
//                             that selects the goal.
// ErrorContributionGraphView  one bar per goal: its share of the error.
// GoalErrorGraphsView         per goal a card with its plot (traces against
//                             limit lines) and its error history.
//
// Each reads the model on view and redraws when the model says what
// changed. Every view that lets the user pick a goal emits goalSelected(k);
// the panel hands it to all views' setSelectedGoal(k).

#include "graphs/bargraph.h"

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QWidget>

class GoalGraphWidget;
class QHBoxLayout;
class GraphWidget;
class OptimizationModelObject;

class GoalErrorTextView : public QWidget
{
    Q_OBJECT

public:
    explicit GoalErrorTextView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    void setStale(bool stale);
    // What the view reads, caption and values together (in full, also when
    // a narrow panel shows them elided).
    QString text() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private Q_SLOTS:
    void updateView();

private:
    // Fits the texts into the width: the value first, the detail in what is
    // left, each elided at its end when it does not fit.
    void elide();

    QPointer<OptimizationModelObject> m_model;
    QLabel *m_caption;
    QLabel *m_value;
    QLabel *m_detail;
    QHBoxLayout *m_lines[2] = {};
    QString m_valueText;
    QString m_detailText;
    bool m_stale = false;
};

class GoalTextView : public QLabel
{
    Q_OBJECT

public:
    explicit GoalTextView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    void setStale(bool stale);
    int selectedGoal() const { return m_selectedGoal; }

public Q_SLOTS:
    void setSelectedGoal(int goalIndex);
    void clearSelection() { setSelectedGoal(-1); }

Q_SIGNALS:
    void goalSelected(int goalIndex);

private Q_SLOTS:
    void updateView();

private:
    QPointer<OptimizationModelObject> m_model;
    int m_selectedGoal = -1;
    bool m_stale = false;
};

class ErrorContributionGraphView : public BarGraph
{
    Q_OBJECT

public:
    explicit ErrorContributionGraphView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    void setStale(bool stale);

public Q_SLOTS:
    void setSelectedGoal(int goalIndex);

Q_SIGNALS:
    void goalSelected(int goalIndex);

private Q_SLOTS:
    void updateAll();
    void handleBarSelected(int barIndex);

private:
    QPointer<OptimizationModelObject> m_model;
    int m_selectedGoal = -1;
    bool m_stale = false;
};

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
