#pragma once

// The context menu of every history graph: how many iterations the graphs
// show and how their vertical axis scales. It works on the controller
// state's display settings; the state then tells every history graph.
// refresh() checks the actions that match the state and runs before each
// pop-up.

#include <QMenu>
#include <QPointer>

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

    void refresh();
    // Refreshes, then pops up at a global position (without waiting).
    void popupAt(const QPoint &globalPosition);

private Q_SLOTS:
    void handleMenuPicks(QAction *action);

private:
    QPointer<OptimHelmdeckControllerState> m_state;
    QAction *m_lastTen;
    QAction *m_lastTwentyFive;
    QAction *m_all;
    QAction *m_visibleData;
    QAction *m_allData;
};
