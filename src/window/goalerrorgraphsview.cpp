#include "goalerrorgraphsview.h"

#include "errorhistoryview.h"
#include "graphs/colorset.h"
#include "graphs/goalgraphwidget.h"
#include "graphs/graphwidget.h"
#include "model/optimizationmodelobject.h"
#include "modelbinding.h"

#include <QGridLayout>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A goal card's least height (a plot with its axis labels), and the least
// height at which it also shows the goal's error history below the plot.
constexpr int minCardHeight = 96;
constexpr int minHeightWithHistory = 150;

} // namespace

GoalErrorGraphCard::GoalErrorGraphCard(int goalIndex, QWidget *parent)
    : QFrame(parent)
    , m_goalGraph(new GoalGraphWidget(this))
    , m_historyGraph(new GraphWidget(this))
{
    setObjectName(QStringLiteral("goalCard%1").arg(goalIndex));
    m_goalGraph->setObjectName(QStringLiteral("goalGraph%1").arg(goalIndex));
    m_historyGraph->setObjectName(QStringLiteral("goalHistoryGraph%1").arg(goalIndex));
    m_historyGraph->setSeriesName(0, QStringLiteral("Goal error"));
    m_historyGraph->setEmptyText(QStringLiteral("No error history yet"));
    setFrameShape(QFrame::NoFrame);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_goalGraph, 3);
    layout->addWidget(m_historyGraph, 1);
    connect(m_goalGraph, &GoalGraphWidget::clicked, this, &GoalErrorGraphCard::clicked);
    connect(m_historyGraph, &GraphWidget::clicked, this, &GoalErrorGraphCard::clicked);
}

void GoalErrorGraphCard::setSelected(bool selected)
{
    m_selected = selected;
    m_goalGraph->setSelected(selected);
    m_historyGraph->setHighlighted(selected);
}

void GoalErrorGraphCard::setCardHeight(int height)
{
    setFixedHeight(height);
    // The history strip: about a quarter, enough for a line and its labels.
    // A short card is all plot: the goal's trace against its limits is what
    // it is for, and the overall error history has its own page.
    const bool strip = height >= minHeightWithHistory;
    if (strip)
        m_historyGraph->setFixedHeight(std::clamp(height / 4, 40, 90));
    m_historyGraph->setVisible(strip);
}

// -------------------------------------------------------- GoalErrorGraphsView

GoalErrorGraphsView::GoalErrorGraphsView(QWidget *parent)
    : QScrollArea(parent)
    , m_content(new QWidget)
    , m_emptyLabel(new QLabel(QStringLiteral("No goals to view"), m_content))
{
    setObjectName(QStringLiteral("goalErrorGraphsView"));
    m_content->setObjectName(QStringLiteral("goalErrorGraphsContent"));
    m_emptyLabel->setObjectName(QStringLiteral("goalGraphsEmptyLabel"));
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyLabel->setEnabled(false);
    setWidget(m_content);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *grid = new QGridLayout(m_content);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(6);
    relayout();
}

void GoalErrorGraphsView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::goalChanged, this, &GoalErrorGraphsView::updateGoal);
        connect(m, &OptimizationModelObject::goalAdded, this, &GoalErrorGraphsView::updateAll);
    }, OnModelDeleted::UnbindView);
    // A different model: the history graphs parse their series anew.
    for (GoalErrorGraphCard *c : std::as_const(m_cards))
        c->historyGraph()->clearSeries();
    updateAll();
}

void GoalErrorGraphsView::setStale(bool stale)
{
    m_stale = stale;
    for (GoalErrorGraphCard *c : std::as_const(m_cards)) {
        c->goalGraph()->setStale(stale);
        c->historyGraph()->setStale(stale);
    }
}

GoalErrorGraphCard *GoalErrorGraphsView::card(int goalIndex) const
{
    return goalIndex >= 0 && goalIndex < m_cards.size() ? m_cards.at(goalIndex) : nullptr;
}

GoalGraphWidget *GoalErrorGraphsView::goalGraph(int goalIndex) const
{
    GoalErrorGraphCard *c = card(goalIndex);
    return c ? c->goalGraph() : nullptr;
}

GraphWidget *GoalErrorGraphsView::historyGraph(int goalIndex) const
{
    GoalErrorGraphCard *c = card(goalIndex);
    return c ? c->historyGraph() : nullptr;
}

void GoalErrorGraphsView::setNumberOfHistoryPointsToShow(int num)
{
    m_numPointsShown = num;
    for (GoalErrorGraphCard *c : std::as_const(m_cards))
        applyPointsShown(c->historyGraph());
}

void GoalErrorGraphsView::setShowsAllIterations(bool showAll)
{
    m_showAll = showAll;
    for (GoalErrorGraphCard *c : std::as_const(m_cards))
        applyPointsShown(c->historyGraph());
}

void GoalErrorGraphsView::applyPointsShown(GraphWidget *graph) const
{
    graph->setNumPointsShown(m_showAll && graph->pointCount() > m_numPointsShown ? 0 : m_numPointsShown, m_showAll);
}

void GoalErrorGraphsView::setYAutoScaleUsingAllData(bool useAllData)
{
    m_useAllData = useAllData;
    for (GoalErrorGraphCard *c : std::as_const(m_cards))
        c->historyGraph()->setUseAllData(useAllData);
}

void GoalErrorGraphsView::setLogScale(bool on)
{
    m_logScale = on;
    for (GoalErrorGraphCard *c : std::as_const(m_cards))
        c->historyGraph()->setLogScale(on);
}

void GoalErrorGraphsView::setXAxisScaling(int scaling)
{
    m_xAxisScaling = scaling;
    for (GoalErrorGraphCard *c : std::as_const(m_cards))
        c->goalGraph()->setXAxisScaling(scaling);
}

void GoalErrorGraphsView::setSelectedGoal(int goalIndex)
{
    m_selectedGoal = goalIndex;
    for (int k = 0; k < m_cards.size(); ++k)
        m_cards.at(k)->setSelected(k == goalIndex);
    if (GoalErrorGraphCard *c = card(goalIndex))
        ensureWidgetVisible(c, 0, 0);
}

void GoalErrorGraphsView::updateGoal(int n)
{
    GoalErrorGraphCard *c = card(n);
    if (!c || !m_model || n >= m_model->model().goalCount()) {
        updateAll();
        return;
    }
    const OptimizationModel &model = m_model->model();
    GoalGraphWidget *plot = c->goalGraph();
    plot->setGoal(model.goal(n));
    plot->setColor(ColorSet(ColorSet::GoalColors).color(n));
    if (n < model.output().goals().size()) {
        plot->setTraces(model.goalOutput(n).traces());
        plot->setValueText(model.goalOutput(n).valueText());
    }
    if (n < model.history().goals().size()) {
        const OptimGoalHistory &history = model.goalHistory(n);
        plot->setInitialTraces(history.initialTraces());
        plot->setTracesBeforeTuning(history.tracesBeforeTuning());
        showHistorySeries(c->historyGraph(), history.values());
        applyPointsShown(c->historyGraph());
    }
    c->historyGraph()->setSeriesColor(0, ColorSet(ColorSet::GoalColors).color(n));
    c->historyGraph()->setTitle(model.goal(n).name() + QStringLiteral(" error"));
}

void GoalErrorGraphsView::updateAll()
{
    const int n = m_model ? int(m_model->model().goalCount()) : 0;
    while (m_cards.size() > n)
        delete m_cards.takeLast();
    while (m_cards.size() < n) {
        const int k = int(m_cards.size());
        auto *c = new GoalErrorGraphCard(k, m_content);
        c->goalGraph()->setXAxisScaling(m_xAxisScaling);
        applyPointsShown(c->historyGraph());
        c->historyGraph()->setUseAllData(m_useAllData);
        c->historyGraph()->setLogScale(m_logScale);
        c->goalGraph()->setStale(m_stale);
        c->historyGraph()->setStale(m_stale);
        connect(c, &GoalErrorGraphCard::clicked, this, [this, k] {
            setSelectedGoal(k);
            Q_EMIT goalSelected(k);
        });
        connect(c->historyGraph(), &GraphWidget::rightMouseClick, this, &GoalErrorGraphsView::historyGraphRightMouseClick);
        connect(c->goalGraph(), &GoalGraphWidget::saveImageRequested, this, &GoalErrorGraphsView::saveImageRequested);
        m_cards.append(c);
    }
    for (int k = 0; k < n; ++k)
        updateGoal(k);
    setSelectedGoal(m_selectedGoal < n ? m_selectedGoal : -1);
    relayout();
}

void GoalErrorGraphsView::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    relayout();
}

void GoalErrorGraphsView::relayout()
{
    auto *grid = static_cast<QGridLayout *>(m_content->layout());
    while (grid->count() > 0)
        delete grid->takeAt(0); // the widgets stay; only their layout items go
    const int n = int(m_cards.size());
    m_emptyLabel->setVisible(n == 0);
    if (n == 0) {
        grid->addWidget(m_emptyLabel, 0, 0);
        m_columns = 1;
        return;
    }
    // Columns of at least 260 pixels; cards share the visible height while
    // they stay at least minCardHeight high, else the view scrolls.
    const int width = viewport()->width();
    const int height = viewport()->height();
    const int spacing = grid->spacing();
    m_columns = std::clamp(width / 260, 1, n);
    const int rows = (n + m_columns - 1) / m_columns;
    int cardHeight = (height - (rows - 1) * spacing) / rows;
    cardHeight = std::clamp(cardHeight, minCardHeight, 330);
    for (int k = 0; k < n; ++k) {
        m_cards.at(k)->setCardHeight(cardHeight);
        grid->addWidget(m_cards.at(k), k / m_columns, k % m_columns);
    }
    const int columnCount = grid->columnCount();
    for (int c = 0; c < columnCount; ++c)
        grid->setColumnStretch(c, c < m_columns ? 1 : 0);
    // Cards keep their height; spare room collects below the last row.
    const int rowCount = std::max(rows + 1, grid->rowCount());
    for (int r = 0; r < rowCount; ++r)
        grid->setRowStretch(r, r == rows ? 1 : 0);
}
