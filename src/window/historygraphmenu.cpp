#include "historygraphmenu.h"

#include "graphs/graphwidget.h"
#include "historycsv.h"
#include "state/optimhelmdeckcontrollerstate.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QGuiApplication>

namespace {

QAction *checkableAction(QMenu *menu, QActionGroup *group, const QString &text, const char *objectName)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setCheckable(true);
    group->addAction(action);
    return action;
}

} // namespace

HistoryGraphMenu::HistoryGraphMenu(OptimHelmdeckControllerState *state, QWidget *parent)
    : QMenu(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("historyGraphMenu"));
    setToolTipsVisible(true);
    auto *xAxis = new QActionGroup(this);
    auto *yAxis = new QActionGroup(this);
    xAxis->setExclusive(true);
    yAxis->setExclusive(true);
    m_lastTen = checkableAction(this, xAxis, QStringLiteral("Display the last 10 iterations"), "lastTenAction");
    m_lastTwentyFive = checkableAction(this, xAxis, QStringLiteral("Display the last 25 iterations"), "lastTwentyFiveAction");
    m_all = checkableAction(this, xAxis, QStringLiteral("Display all iterations"), "allIterationsAction");
    addSeparator();
    m_visibleData = checkableAction(this, yAxis, QStringLiteral("Y-axis: Auto-scale to visible data"), "visibleDataAction");
    m_allData = checkableAction(this, yAxis, QStringLiteral("Y-axis: Auto-scale to all data"), "allDataAction");
    m_logScale = addAction(QStringLiteral("Log scale"));
    m_logScale->setObjectName(QStringLiteral("logScaleAction"));
    m_logScale->setCheckable(true);
    m_logScale->setToolTip(QStringLiteral("The error histories on a log scale (zero and negative errors are left out)"));
    addSeparator();
    m_exportHistory = addAction(QStringLiteral("Export History..."));
    m_exportHistory->setObjectName(QStringLiteral("exportHistoryAction"));
    m_copyImage = addAction(QStringLiteral("Copy Image"));
    m_copyImage->setObjectName(QStringLiteral("copyImageAction"));
    m_saveImage = addAction(QStringLiteral("Save Image..."));
    m_saveImage->setObjectName(QStringLiteral("saveImageAction"));
    connect(this, &QMenu::triggered, this, &HistoryGraphMenu::handleMenuPicks);
    refresh();
}

void HistoryGraphMenu::setTargetGraph(GraphWidget *graph)
{
    m_target = graph;
    refresh();
}

GraphWidget *HistoryGraphMenu::targetGraph() const
{
    return qobject_cast<GraphWidget *>(m_target.data());
}

void HistoryGraphMenu::refresh()
{
    m_copyImage->setEnabled(m_target);
    m_saveImage->setEnabled(m_target);
    if (!m_state)
        return;
    switch (m_state->numItersToDisplay()) {
    case 1:
        m_lastTen->setChecked(true);
        break;
    case 2:
        m_lastTwentyFive->setChecked(true);
        break;
    default:
        m_all->setChecked(true);
        break;
    }
    (m_state->yAxisAutoscaleUsingAllData() ? m_allData : m_visibleData)->setChecked(true);
    m_logScale->setChecked(m_state->historyLogScale());
    const OptimizationModelObject *viewed = m_state->viewModel();
    const bool hasHistory = viewed && HistoryCsv::iterationCount(viewed->model()) > 0;
    m_exportHistory->setEnabled(hasHistory);
    m_exportHistory->setToolTip(hasHistory ? QString() : QStringLiteral("No iteration has been reported yet."));
}

void HistoryGraphMenu::popupAt(const QPoint &globalPosition)
{
    refresh();
    popup(globalPosition);
}

void HistoryGraphMenu::handleMenuPicks(QAction *action)
{
    if (!action)
        return;
    if (action == m_copyImage && targetGraph()) {
        QGuiApplication::clipboard()->setPixmap(targetGraph()->exportImage());
        return;
    }
    if (action == m_saveImage && targetGraph()) {
        Q_EMIT saveImageRequested(targetGraph());
        return;
    }
    if (!m_state)
        return;
    if (action == m_lastTen)
        m_state->setNumItersToDisplay(1);
    else if (action == m_lastTwentyFive)
        m_state->setNumItersToDisplay(2);
    else if (action == m_all)
        m_state->setNumItersToDisplay(0);
    else if (action == m_visibleData)
        m_state->setYAxisAutoscaleUsingAllData(false);
    else if (action == m_allData)
        m_state->setYAxisAutoscaleUsingAllData(true);
    else if (action == m_logScale)
        m_state->setHistoryLogScale(m_logScale->isChecked());
    else if (action == m_exportHistory)
        Q_EMIT exportHistoryRequested();
}
