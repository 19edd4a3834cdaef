#pragma once

// The "Goals" panel: the window's right half under the status.
//
// Top to bottom: "Edit goals..." with the overall error beside it; a notice
// while the shown results are stale; the pages "Goal contributions" (a bar
// per goal), "Error history" (the error of every iteration) and "Goals" (the
// goals as a table); then a card per goal with its plot (traces against
// limit lines) and its error history. Selecting a goal in any view marks
// the same goal in all of them.

#include "panelview.h"
#include "windoweditors.h"

#include "model/optiminputrecords.h"
#include "model/optimitemlist.h"

#include <QPoint>

class ErrorContributionGraphView;
class ErrorHistoryView;
class GoalErrorGraphsView;
class GoalErrorTextView;
class GoalTextView;
class OptimizationModel;
class QLabel;
class QPushButton;
class QScrollArea;
class QSplitter;
class QTabWidget;

class GoalsPanel : public PanelView
{
    Q_OBJECT

public:
    GoalsPanel(OptimHelmdeckControllerState *state, QWidget *parent = nullptr);

    bool dataIsStale() const { return m_dataIsStale; }
    // The goal marked in every view, or -1.
    int selectedGoal() const { return m_selectedGoal; }

    void setModel(OptimizationModelObject *model) override;
    void preventUserInput(bool preventInput) override;
    // The window's editors; without a goal editor "Edit goals..." stays
    // disabled.
    void setEditorHooks(const OptimHelmdeckEditorHooks &hooks);

    QPushButton *editGoalsButton() const { return m_editButton; }
    GoalErrorTextView *errorTextView() const { return m_errorText; }
    QTabWidget *pages() const { return m_pages; }
    ErrorContributionGraphView *contributionView() const { return m_contributions; }
    ErrorHistoryView *errorHistoryView() const { return m_history; }
    GoalTextView *goalTextView() const { return m_goalText; }
    GoalErrorGraphsView *goalGraphsView() const { return m_graphs; }
    // Whether the "Goal contributions" page is offered.
    bool contributionsVisible() const;

Q_SIGNALS:
    void goalDefinitionsChanged(const OptimItemList<OptimGoalInput> &newGoals);
    void historyGraphRightMouseClick(const QPoint &globalPosition);
    // A goal plot's "Save Image...".
    void saveImageRequested(QWidget *graph);

public Q_SLOTS:
    void setNumberOfHistoryPointsToShow(int numPoints);
    void setYAutoScaleUsingAllData(bool useAllData);
    // The error history and the goal error histories on a log scale.
    void setHistoryLogScale(bool on);
    void setXAxisScaling(int scaling);
    void setDataIsStale(bool dataIsStale);
    void showEditGoalsDialog();
    void acceptEditedGoals(const OptimItemList<OptimGoalInput> &goals);
    // Marks goal goalIndex (-1: none) in every view.
    void setSelectedGoal(int goalIndex);

private Q_SLOTS:
    void updateButtons();
    void updateContributionsVisbility();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // Shares the splitter's height: about a third to the pages, the rest to
    // the goal plots, until the user moves the splitter.
    void balanceSplitter();
    // Full or short page names, whichever lets every tab show.
    void fitTabTexts();

    QPushButton *m_editButton;
    GoalErrorTextView *m_errorText;
    QLabel *m_staleNotice;
    QSplitter *m_splitter;
    QTabWidget *m_pages;
    QScrollArea *m_contributionsScroll;
    ErrorContributionGraphView *m_contributions;
    ErrorHistoryView *m_history;
    QScrollArea *m_goalTextScroll;
    GoalTextView *m_goalText;
    GoalErrorGraphsView *m_graphs;
    bool m_dataIsStale = false;
    GoalsPanelGoalEditor m_goalEditor;
    PanelEditorGuard m_editor;
    bool m_splitterMoved = false;
    int m_selectedGoal = -1;
};
