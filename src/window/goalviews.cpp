#include "goalviews.h"

#include "graphs/colorset.h"
#include "errorhistoryview.h"
#include "graphs/goalgraphwidget.h"
#include "graphs/goalverdict.h"
#include "graphs/graphwidget.h"
#include "modelbinding.h"
#include "model/optimizationmodelobject.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// A goal card's least height (a plot with its axis labels), and the least
// height at which it also shows the goal's error history below the plot.
constexpr int minCardHeight = 96;
constexpr int minHeightWithHistory = 150;

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

// A limit's condition for the goals table, with "y" for the response.
QString shortCondition(const OptimGoalLimitInput &limit)
{
    const QString a = esc(limit.firstValueText());
    const QString b = esc(limit.secondValueText());
    switch (limit.limitType()) {
    case LimitGreaterThan:
        return QStringLiteral("y &gt; ") + a;
    case LimitLessThan:
        return QStringLiteral("y &lt; ") + a;
    case LimitEqualTo:
        return QStringLiteral("y = ") + a;
    case LimitInside:
        return a + QStringLiteral(" &lt; y &lt; ") + b;
    case LimitOutside:
        return QStringLiteral("y &lt; ") + a + QStringLiteral(" or y &gt; ") + b;
    default:
        return QString();
    }
}

} // namespace

// ---------------------------------------------------------- GoalErrorTextView

GoalErrorTextView::GoalErrorTextView(QWidget *parent)
    : QWidget(parent)
    , m_caption(new QLabel(this))
    , m_value(new QLabel(this))
    , m_detail(new QLabel(this))
{
    setObjectName(QStringLiteral("goalErrorTextView"));
    m_caption->setObjectName(QStringLiteral("errorCaptionLabel"));
    m_value->setObjectName(QStringLiteral("errorValueLabel"));
    m_detail->setObjectName(QStringLiteral("errorDetailLabel"));
    QFont bold = m_value->font();
    bold.setBold(true);
    m_value->setFont(bold);
    m_value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The texts give way to a narrow panel (elided, see elide()) instead of
    // widening it or being cut off: the view's own least width lets the panel
    // be narrower than the full texts.
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Best Error: 0.0...")));
    // Two lines: the texts stand on the first while they fit whole, the
    // rest moves to the second (see elide()).
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QHBoxLayout *&line : m_lines) {
        line = new QHBoxLayout;
        line->setSpacing(4);
        line->addStretch(1);
        layout->addLayout(line);
    }
    for (QLabel *label : {m_caption, m_value, m_detail})
        m_lines[0]->insertWidget(m_lines[0]->count() - 1, label);
    updateView();
}

void GoalErrorTextView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &GoalErrorTextView::updateView);
    }, OnModelDeleted::UnbindView);
    updateView();
}

void GoalErrorTextView::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    updateView();
}

QString GoalErrorTextView::text() const
{
    QStringList parts;
    if (!m_caption->text().isEmpty())
        parts << m_caption->text();
    if (!m_value->isHidden() && !m_valueText.isEmpty())
        parts << m_valueText;
    if (!m_detail->isHidden() && !m_detailText.isEmpty())
        parts << m_detailText;
    return parts.join(QLatin1Char(' '));
}

void GoalErrorTextView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    elide();
}

void GoalErrorTextView::elide()
{
    // Each text stays on the first line while it fits there whole, else it
    // starts the second line; what the second line cannot hold is elided
    // (the tooltip has it all).
    const int width = contentsRect().width();
    const int gap = m_lines[0]->spacing();
    QLabel *const labels[] = {m_caption, m_value, m_detail};
    const QString texts[] = {m_caption->text(), m_valueText, m_detailText};
    int lineOf[3] = {0, 0, 0};
    int line = 0;
    int used = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && texts[i].isEmpty())
            continue;
        const QFontMetrics fm = labels[i]->fontMetrics();
        const int lead = used > 0 ? gap : 0;
        if (line == 0 && used > 0 && used + lead + fm.horizontalAdvance(texts[i]) + 2 > width) {
            line = 1;
            used = 0;
        }
        lineOf[i] = line;
        const int room = std::max(0, width - used - (used > 0 ? gap : 0));
        const QString shown = i == 0 ? texts[i] : fm.elidedText(texts[i], Qt::ElideRight, room);
        if (i > 0)
            labels[i]->setText(shown);
        used += (used > 0 ? gap : 0) + fm.horizontalAdvance(shown) + 2;
    }
    bool moved = false;
    for (int i = 0; i < 3; ++i)
        moved = moved || m_lines[lineOf[i]]->indexOf(labels[i]) < 0;
    if (!moved)
        return;
    for (int i = 0; i < 3; ++i) {
        m_lines[0]->removeWidget(labels[i]);
        m_lines[1]->removeWidget(labels[i]);
    }
    for (int i = 0; i < 3; ++i)
        m_lines[lineOf[i]]->insertWidget(m_lines[lineOf[i]]->count() - 1, labels[i]);
}

void GoalErrorTextView::updateView()
{
    const bool known = m_model && !(m_model->model().algorithmHistory().isEmpty()
                                    && m_model->model().algorithmOutput().errorText().isEmpty());
    if (!known) {
        m_caption->setText(QStringLiteral("Error not calculated yet"));
        m_valueText.clear();
        m_detailText.clear();
        m_value->clear();
        m_value->hide();
        m_detail->hide();
        return;
    }
    const OptimAlgOutput &out = m_model->model().algorithmOutput();
    const bool best = out.isBestError();
    m_caption->setText(best ? QStringLiteral("Best Error: ") : QStringLiteral("Error: "));
    m_valueText = out.errorText();
    m_value->setVisible(true);
    // The detail is shown as it comes, except where it only repeats the value
    // (the value already begins with it).
    const QString detail = out.errorDetail().trimmed();
    const bool repeats = detail == m_valueText.trimmed() || m_valueText.startsWith(detail + QLatin1Char(' '));
    m_detailText = best && !repeats ? out.errorDetail() : QString();
    m_detail->setVisible(!m_detailText.isEmpty());
    QString tip = text();
    if (m_stale)
        tip += QStringLiteral("\nThe error belongs to values that are no longer current.");
    setToolTip(tip);
    elide();
    m_value->setEnabled(!m_stale);
    m_detail->setEnabled(!m_stale);
}

// --------------------------------------------------------------- GoalTextView

GoalTextView::GoalTextView(QWidget *parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("goalTextView"));
    setTextFormat(Qt::RichText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The table keeps its natural width; a narrow panel scrolls sideways.
    setWordWrap(false);
    setMargin(4);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::TextSelectableByMouse);
    connect(this, &QLabel::linkActivated, this, [this](const QString &link) {
        if (!link.startsWith(QLatin1String("goal:")))
            return;
        bool ok = false;
        const int k = link.mid(5).toInt(&ok);
        if (!ok)
            return;
        setSelectedGoal(k);
        Q_EMIT goalSelected(k);
    });
    updateView();
}

void GoalTextView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        // The table is rebuilt once for all goals an iteration changes.
        connect(m, &OptimizationModelObject::goalChanged, this, [this, m] {
            if (!m->isChangingGoals())
                updateView();
        });
        connect(m, &OptimizationModelObject::goalsChanged, this, &GoalTextView::updateView);
        connect(m, &OptimizationModelObject::goalAdded, this, &GoalTextView::updateView);
    }, OnModelDeleted::UnbindView);
    updateView();
}

void GoalTextView::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    updateView();
}

void GoalTextView::setSelectedGoal(int goalIndex)
{
    if (goalIndex == m_selectedGoal)
        return;
    m_selectedGoal = goalIndex;
    updateView();
}

void GoalTextView::updateView()
{
    const int n = m_model ? int(m_model->model().goalCount()) : 0;
    if (n == 0) {
        setText(QStringLiteral("No goals to view"));
        return;
    }
    const OptimizationModel &model = m_model->model();
    const QString grey = palette().color(QPalette::Disabled, QPalette::WindowText).name();
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\">"
                                  "<tr><th align=\"left\">Goal</th><th align=\"right\">Error</th>"
                                  "<th align=\"right\">Contribution</th><th align=\"left\">Limits</th>"
                                  "<th align=\"left\">Status</th></tr>");
    const ColorSet colors(ColorSet::GoalColors);
    for (int k = 0; k < n; ++k) {
        const OptimGoalInput &goal = model.goal(k);
        const OptimGoalOutput *out = k < model.output().goals().size() ? &model.goalOutput(k) : nullptr;
        QStringList conditions;
        for (const OptimGoalLimitInput &limit : goal.limits())
            conditions << shortCondition(limit);
        const QString row = k == m_selectedGoal
            ? QStringLiteral("<tr bgcolor=\"%1\">").arg(GraphWidget::selectionHighlightColor().name())
            : QStringLiteral("<tr>");
        const QString value = out && !out->valueText().isEmpty() ? esc(out->valueText()) : QStringLiteral("&ndash;");
        const QString contribution = out && !out->errorContribution().isEmpty() ? esc(out->errorContribution())
                                                                                : QStringLiteral("Not active");
        html += row
            + QStringLiteral("<td nowrap><span style=\"color:%1\">&#9632;</span>&nbsp;<a href=\"goal:%2\">%3</a></td>"
                             "<td nowrap align=\"right\">%4</td><td nowrap align=\"right\">%5</td><td nowrap>%6</td>")
                  .arg(colors.color(k).name())
                  .arg(k)
                  .arg(esc(goal.name().isEmpty() ? QStringLiteral("Goal %1").arg(k + 1) : goal.name()), value,
                       contribution, conditions.join(QStringLiteral("; ")))
            + GoalVerdict::cellHtml(goal, out) + QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    if (m_stale)
        html += QStringLiteral("<p style=\"color:%1\"><i>These results are stale.</i></p>").arg(grey);
    setText(html);
}

// ------------------------------------------------- ErrorContributionGraphView

ErrorContributionGraphView::ErrorContributionGraphView(QWidget *parent)
    : BarGraph(parent)
{
    setObjectName(QStringLiteral("errorContributionGraphView"));
    setEmptyText(QStringLiteral("No goals to view"));
    connect(this, qOverload<int>(&BarGraph::barSelected), this, &ErrorContributionGraphView::handleBarSelected);
}

void ErrorContributionGraphView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        // The bars are set once for all goals an iteration changes.
        connect(m, &OptimizationModelObject::goalChanged, this, [this, m] {
            if (!m->isChangingGoals())
                updateAll();
        });
        connect(m, &OptimizationModelObject::goalsChanged, this, &ErrorContributionGraphView::updateAll);
        connect(m, &OptimizationModelObject::goalAdded, this, &ErrorContributionGraphView::updateAll);
    }, OnModelDeleted::UnbindView);
    updateAll();
}

void ErrorContributionGraphView::setStale(bool stale)
{
    m_stale = stale;
    for (int i = 0; i < barCount(); ++i)
        bar(i)->setStale(stale);
}

void ErrorContributionGraphView::setSelectedGoal(int goalIndex)
{
    m_selectedGoal = goalIndex;
    setBarSelected(goalIndex);
}

void ErrorContributionGraphView::handleBarSelected(int barIndex)
{
    m_selectedGoal = barIndex;
    Q_EMIT goalSelected(barIndex);
}

void ErrorContributionGraphView::updateAll()
{
    const int n = m_model ? int(m_model->model().goalCount()) : 0;
    setBarCount(n);
    if (n == 0)
        return;
    const OptimizationModel &model = m_model->model();
    // Bar lengths relative to the largest contribution; the text adds each
    // goal's share of the sum of contributions.
    std::vector<std::optional<double>> values(static_cast<size_t>(n));
    double largest = 0;
    double sum = 0;
    for (int k = 0; k < n; ++k) {
        if (k >= model.output().goals().size())
            continue;
        values[size_t(k)] = GraphScale::parseValue(model.goalOutput(k).errorContribution());
        if (values[size_t(k)] && *values[size_t(k)] > 0) {
            largest = std::max(largest, *values[size_t(k)]);
            sum += *values[size_t(k)];
        }
    }
    const ColorSet colors(ColorSet::GoalColors);
    for (int k = 0; k < n; ++k) {
        BarGraphBar *b = bar(k);
        const OptimGoalInput &goal = model.goal(k);
        b->setLabel(goal.name().isEmpty() ? QStringLiteral("Goal %1").arg(k + 1) : goal.name());
        b->setColor(colors.color(k));
        b->setStale(m_stale);
        const QString text = k < model.output().goals().size() ? model.goalOutput(k).errorContribution() : QString();
        if (text.isEmpty()) {
            b->setActive(false);
            b->setValue(0, QStringLiteral("Not active"));
            continue;
        }
        b->setActive(true);
        const std::optional<double> v = values[size_t(k)];
        if (!v) {
            // A text that is not a number is shown as it is, without a bar.
            b->setValue(std::nan(""), text);
            continue;
        }
        const double fraction = largest > 0 ? std::max(0.0, *v) / largest : 0.0;
        QString shown = text;
        if (sum > 0 && *v >= 0) {
            const double share = 100.0 * *v / sum;
            const QString percent = share > 0 && share < 0.1 ? QStringLiteral("<0.1")
                                                              : QString::number(share, 'f', share > 0 && share < 10 ? 1 : 0);
            shown += QStringLiteral("  (%1 %)").arg(percent);
        }
        b->setValue(fraction, shown);
    }
    setBarSelected(m_selectedGoal);
}

// --------------------------------------------------------- GoalErrorGraphCard

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
