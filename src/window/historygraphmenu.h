#pragma once

// The context menu of every history graph: how many iterations the graphs
// show and how their vertical axis scales. It works on the controller
// state's display settings; the state then tells every history graph.
// refresh() checks the actions that match the state and runs before each
// pop-up. "Log scale" (checkable) puts the error history and the goal error
// histories on a log scale; the state remembers it. "Export History..." asks its owner (exportHistoryRequested) to
// write the viewed optimization's history; it is disabled while there is
// none. "Copy Image" puts the graph the menu was opened on on the
// clipboard (GraphWidget::exportImage: with its title, without hover
// marks); "Save Image..." asks the owner (saveImageRequested) to save it.

#include <QMenu>
#include <QPointer>

class GraphWidget;

class OptimHelmdeckControllerState;
class QAction;

class HistoryGraphMenu : public QMenu
{
    Q_OBJECT

public:
    HistoryGraphMenu(OptimHelmdeckControllerState *state, QWidget *parent = nullptr);

    QAction *lastTenAction() const { return m_lastTen; }
    QAction *lastTwentyFiveAction() const { return m_lastTwentyFive; }
    QAction *allIterationsAction() const { return m_all; }
    QAction *visibleDataAction() const { return m_visibleData; }
    QAction *allDataAction() const { return m_allData; }
    QAction *logScaleAction() const { return m_logScale; }
    QAction *exportHistoryAction() const { return m_exportHistory; }
    QAction *copyImageAction() const { return m_copyImage; }
    QAction *saveImageAction() const { return m_saveImage; }
    // The graph the image actions work on (held guarded; null disables them).
    void setTargetGraph(GraphWidget *graph);
    GraphWidget *targetGraph() const;

    void refresh();
    // Refreshes, then pops up at a global position (without waiting).
    void popupAt(const QPoint &globalPosition);

Q_SIGNALS:
    void exportHistoryRequested();
    void saveImageRequested(GraphWidget *graph);

private Q_SLOTS:
    void handleMenuPicks(QAction *action);

private:
    QPointer<OptimHelmdeckControllerState> m_state;
    QAction *m_lastTen;
    QAction *m_lastTwentyFive;
    QAction *m_all;
    QAction *m_visibleData;
    QAction *m_allData;
    QAction *m_logScale;
    QAction *m_exportHistory;
    QAction *m_copyImage;
    QAction *m_saveImage;
    QPointer<QWidget> m_target;
};
