#include "goalgraphwidget.h"
#include "goalgraphlayout.h"
#include "goalverdict.h"
#include "units/realstringparser.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <cmath>
#include <tuple>

using namespace GoalGraphDetail;

GoalGraphWidget::GoalGraphWidget(QWidget *parent)
    : QLabel(parent)
{
    setMinimumSize(minimumSizeHint());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMouseTracking(true);
}

void GoalGraphWidget::invalidate()
{
    m_cacheValid = false;
    update();
}

void GoalGraphWidget::invalidateBackground()
{
    m_backgroundValid = false;
    m_previousBackground = QPixmap();
    invalidate();
}

void GoalGraphWidget::setGoal(const OptimGoalInput &goal)
{
    if (goal == m_goal && goal.indepVarUnits() == m_goal.indepVarUnits())
        return;
    // Another goal (or the swept variable in other units): the user's range
    // no longer means what it did.
    if (goal.name() != m_goal.name() || goal.indepVarUnits() != m_goal.indepVarUnits())
        m_zoom.reset();
    m_heldRange.reset();
    m_heldDetail = {};
    m_goal = goal;
    if (m_selectedLimit >= m_goal.limits().size())
        m_selectedLimit = -1;
    invalidateBackground();
}

void GoalGraphWidget::setTraces(const OptimTraceFamily &traces)
{
    if (traces == m_traces)
        return;
    m_traces = traces;
    m_knownExtents.clear();
    if (m_traces.traces().isEmpty())
        m_heldRange.reset();
    invalidate();
}

void GoalGraphWidget::setInitialTraces(const OptimTraceFamily &traces)
{
    if (traces == m_initialTraces)
        return;
    m_initialTraces = traces;
    m_heldRange.reset();
    invalidateBackground();
}

void GoalGraphWidget::setTracesBeforeTuning(const OptimTraceFamily &traces)
{
    if (traces == m_beforeTuning)
        return;
    m_beforeTuning = traces;
    invalidateBackground();
}

void GoalGraphWidget::setValueText(const QString &text)
{
    if (text == m_valueText)
        return;
    // The legend in the kept background gives way to the result: the
    // background key tells when a longer result moves it (a narrower one
    // leaves it, see headerFit).
    m_valueText = text;
    invalidate();
}

void GoalGraphWidget::setXAxisScaling(int scaling)
{
    if (scaling < 0 || scaling > 2)
        scaling = FitToTraceAndLimitLines;
    if (scaling == m_scaling)
        return;
    m_scaling = scaling;
    m_zoom.reset(); // the engineer asked for an automatic range
    m_heldRange.reset();
    invalidateBackground();
}

void GoalGraphWidget::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    invalidateBackground();
}

void GoalGraphWidget::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    invalidateBackground();
}

void GoalGraphWidget::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    m_heldDetail = {};
    invalidateBackground();
}

void GoalGraphWidget::setSelectedLimit(int index)
{
    if (index < 0 || index >= m_goal.limits().size())
        index = -1;
    if (index == m_selectedLimit)
        return;
    m_selectedLimit = index;
    invalidate();
}

// ---------------------------------------------------------------------------
// Events

void GoalGraphWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, shownPixmap());
}

void GoalGraphWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        // A press may start a pan: the values under it stay under the
        // cursor while it moves.
        m_pressPos = event->position().toPoint();
        m_grabbed = valueAt(event->position());
        m_panning = false;
        Q_EMIT clicked();
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

bool GoalGraphWidget::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        if (m_panning)
            return true;
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = toolTipTextAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    if (event->type() == QEvent::Resize)
        m_heldRange.reset(); // the range is chosen afresh for the new size
    return QLabel::event(event);
}

void GoalGraphWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::EnabledChange || event->type() == QEvent::StyleChange)
        invalidateBackground();
    QLabel::changeEvent(event);
}

QString GoalGraphWidget::toolTipTextAt(const QPoint &pos) const
{
    QString text;
    const Layout layout = layoutFor(size());
    if (const auto values = scalarValues(m_goal, m_traces)) {
        // A scalar goal: its values and the verdict against the limits,
        // wherever the cursor is.
        const QString name = m_goal.expression().trimmed().isEmpty() ? QStringLiteral("value") : m_goal.expression().trimmed();
        auto joined = [](const std::vector<double> &vs) {
            QStringList texts;
            for (double v : vs)
                texts << esc(QString::number(v, 'g', 6));
            return texts.join(QStringLiteral(", "));
        };
        if (!values->empty()) {
            text = QStringLiteral("%1 = <b>%2</b>").arg(esc(name), joined(*values));
            if (showsInitialTraces())
                text += QStringLiteral(" (initial %1)").arg(joined(scalarValues(m_goal, m_initialTraces).value_or(std::vector<double>())));
            if (const auto before = scalarValues(m_goal, m_beforeTuning); before && !before->empty())
                text += QStringLiteral(" (before tuning %1)").arg(joined(*before));
            const QString verdict = GoalVerdict::judgeGoal(m_goal, m_traces).text();
            if (!verdict.isEmpty())
                text += QStringLiteral("<br>") + esc(verdict);
        }
    } else if (layout.range && layout.plot.contains(pos)) {
        const int k = sweptVariableIndex(m_goal, m_traces);
        const QString &xUnits = layout.xUnits;
        const QString xName = !m_traces.indepVar().name().isEmpty() ? m_traces.indepVar().name()
                                                                    : m_goal.indepVarNames().value(k, QStringLiteral("x"));
        const double x = layout.xAt(pos.x());
        // The point of each trace nearest to the cursor's abscissa.
        auto nearest = [&](const OptimTraceFamily &family, int t) -> std::optional<QPointF> {
            const OptimTrace &trace = family.trace(t);
            std::optional<QPointF> best;
            double distance = kInf;
            for (qsizetype i = 0; i < trace.pointCount(); ++i) {
                const QPointF p = trace.point(i);
                if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
                    continue;
                const double d = std::abs(p.x() - x);
                if (d < distance) {
                    distance = d;
                    best = p;
                }
            }
            return best;
        };
        QStringList lines;
        for (int t = 0; t < int(m_traces.traceCount()); ++t) {
            if (const auto p = nearest(m_traces, t)) {
                QString line = QStringLiteral("%1 = %2: <b>%3</b>")
                                   .arg(esc(xName), esc(xUnits.isEmpty() ? QString::number(p->x(), 'g', 6) : RealStringParser::formatScaled(p->x(), 6, xUnits).text()),
                                        esc(QString::number(p->y(), 'g', 6)));
                if (showsInitialTraces() && t < m_initialTraces.traceCount()) {
                    if (const auto q = nearest(m_initialTraces, t))
                        line += QStringLiteral(" (initial %1)").arg(esc(QString::number(q->y(), 'g', 6)));
                }
                if (t < m_beforeTuning.traceCount()) {
                    if (const auto q = nearest(m_beforeTuning, t))
                        line += QStringLiteral(" (before tuning %1)").arg(esc(QString::number(q->y(), 'g', 6)));
                }
                lines << line;
            }
        }
        text = lines.join(QStringLiteral("<br>"));
    }
    const QString description = limitDescription();
    if (text.isEmpty())
        text = description;
    else
        text = description + QStringLiteral("<hr>") + text;
    if (m_stale)
        text += QStringLiteral("<br><i>(results are stale)</i>");
    return QStringLiteral("<qt>") + text + QStringLiteral("</qt>");
}

// ---------------------------------------------------------------------------
// Zoom, pan and the context menu

namespace {

// The automatic range as drawn: a flat swept range opened.
std::optional<GoalPlotRange> withOpenedSweptRange(std::optional<GoalPlotRange> range)
{
    if (range)
        std::tie(range->xMin, range->xMax) = GraphScale::openedRange(range->xMin, range->xMax);
    return range;
}

// Scales lo..hi around c by factor unless the result could not be drawn:
// not finite, too narrow for doubles to tell its pixels apart, or beyond a
// millionth or a million times the automatic span.
bool scaleAround(double &lo, double &hi, double c, double factor, double automaticSpan)
{
    const double newLo = c - (c - lo) * factor, newHi = c + (hi - c) * factor;
    const double span = newHi - newLo;
    if (!std::isfinite(newLo) || !std::isfinite(newHi) || !(span > 1e-9 * std::max(std::abs(newLo), std::abs(newHi)))
        || span < automaticSpan * 1e-6 || span > automaticSpan * 1e6)
        return false;
    lo = newLo;
    hi = newHi;
    return true;
}

} // namespace

std::optional<GoalPlotRange> GoalGraphWidget::shownRange() const
{
    std::optional<GoalPlotRange> range = plotRange();
    if (range && m_zoom)
        return m_zoom;
    return withOpenedSweptRange(range);
}

std::optional<QPointF> GoalGraphWidget::valueAt(const QPointF &pos) const
{
    const Layout layout = layoutFor(size());
    if (!layout.range || !QRectF(layout.plot).contains(pos))
        return std::nullopt;
    return QPointF(layout.xAt(pos.x()), layout.yAt(pos.y()));
}

void GoalGraphWidget::zoomAt(const QPointF &pos, double xFactor, double yFactor)
{
    const std::optional<QPointF> value = valueAt(pos);
    const std::optional<GoalPlotRange> automatic = withOpenedSweptRange(plotRange());
    if (!value || !automatic || !(xFactor > 0) || !(yFactor > 0))
        return;
    GoalPlotRange range = *shownRange();
    // A log axis zooms in decades, so it stays positive.
    const bool log = layoutFor(size()).xLog;
    auto axis = [log](double v) { return log ? std::log10(v) : v; };
    double lo = axis(range.xMin), hi = axis(range.xMax);
    const bool x = xFactor != 1.0
        && scaleAround(lo, hi, axis(value->x()), xFactor, axis(automatic->xMax) - axis(automatic->xMin));
    if (x) {
        range.xMin = log ? std::pow(10.0, lo) : lo;
        range.xMax = log ? std::pow(10.0, hi) : hi;
    }
    // A scalar goal's markers keep their height: only its value axis zooms.
    const bool y = yFactor != 1.0 && !isScalar()
        && scaleAround(range.yMin, range.yMax, value->y(), yFactor, automatic->yMax - automatic->yMin);
    if (!x && !y)
        return;
    m_zoom = range;
    pinValue(*value, pos);
    invalidate();
}

void GoalGraphWidget::pinValue(const QPointF &value, const QPointF &pos)
{
    // The first pass puts both values in place. The new value range may
    // change the width of the value labels and with it the plot's left
    // edge; the second pass makes up for that (the value labels stay).
    for (int pass = 0; pass < 2 && m_zoom; ++pass) {
        const Layout layout = layoutFor(size());
        if (!layout.range)
            return;
        const double dy = isScalar() ? 0.0 : value.y() - layout.yAt(pos.y());
        if (layout.xLog) {
            // On a log axis the range moves by a ratio.
            const double ratio = value.x() / layout.xAt(pos.x());
            m_zoom->xMin *= ratio;
            m_zoom->xMax *= ratio;
        } else {
            const double dx = value.x() - layout.xAt(pos.x());
            m_zoom->xMin += dx;
            m_zoom->xMax += dx;
        }
        m_zoom->yMin += dy;
        m_zoom->yMax += dy;
    }
}

void GoalGraphWidget::resetZoom()
{
    if (!m_zoom)
        return;
    m_zoom.reset();
    m_heldRange.reset();
    invalidate();
}

void GoalGraphWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_grabbed) {
        QLabel::mouseMoveEvent(event);
        return;
    }
    event->accept();
    if (!m_panning) {
        if ((event->position().toPoint() - m_pressPos).manhattanLength() < QApplication::startDragDistance())
            return;
        m_panning = true;
        setCursor(Qt::ClosedHandCursor);
        QToolTip::hideText();
    }
    if (!m_zoom)
        m_zoom = shownRange();
    pinValue(*m_grabbed, event->position());
    invalidate();
}

void GoalGraphWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    m_grabbed.reset();
    if (m_panning) {
        m_panning = false;
        unsetCursor();
    }
    event->accept();
}

void GoalGraphWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mouseDoubleClickEvent(event);
        return;
    }
    resetZoom();
    event->accept();
}

void GoalGraphWidget::wheelEvent(QWheelEvent *event)
{
    // Some platforms turn a wheel with Shift held sideways.
    const QPoint delta = event->angleDelta();
    const int eighths = delta.y() != 0 ? delta.y() : delta.x();
    if (eighths == 0 || !valueAt(event->position())) {
        QLabel::wheelEvent(event); // outside the plot the view around scrolls
        return;
    }
    // One notch (120 eighths of a degree) shows 80 % of the range.
    const double factor = std::pow(0.8, eighths / 120.0);
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    zoomAt(event->position(), modifiers & Qt::ControlModifier ? 1.0 : factor,
           modifiers & Qt::ShiftModifier ? 1.0 : factor);
    event->accept();
}

void GoalGraphWidget::contextMenuEvent(QContextMenuEvent *event)
{
    // popup() returns at once: no nested event loop runs here.
    imageMenu()->popup(event->globalPos());
    event->accept();
}

QMenu *GoalGraphWidget::imageMenu()
{
    if (!m_imageMenu) {
        m_imageMenu = new QMenu(this);
        m_imageMenu->setObjectName(QStringLiteral("goalGraphMenu"));
        m_imageMenu->setToolTipsVisible(true);
        QAction *copy = m_imageMenu->addAction(QStringLiteral("Copy Image"));
        copy->setObjectName(QStringLiteral("copyImageAction"));
        connect(copy, &QAction::triggered, this, [this] { QGuiApplication::clipboard()->setPixmap(grab()); });
        QAction *save = m_imageMenu->addAction(QStringLiteral("Save Image..."));
        save->setObjectName(QStringLiteral("saveImageAction"));
        // Queued with this plot as context: the owner's file dialog runs
        // from the event loop, and not at all once the plot is gone.
        connect(save, &QAction::triggered, this, [this] {
            QMetaObject::invokeMethod(this, [this] { Q_EMIT saveImageRequested(this); }, Qt::QueuedConnection);
        });
        m_imageMenu->addSeparator();
        QAction *reset = m_imageMenu->addAction(QStringLiteral("Reset Zoom"));
        reset->setObjectName(QStringLiteral("resetZoomAction"));
        connect(reset, &QAction::triggered, this, &GoalGraphWidget::resetZoom);
    }
    const QList<QAction *> actions = m_imageMenu->actions();
    QAction *save = actions.at(1);
    QAction *reset = actions.at(3);
    const bool canSave = isSignalConnected(QMetaMethod::fromSignal(&GoalGraphWidget::saveImageRequested));
    save->setEnabled(canSave);
    save->setToolTip(canSave ? QString() : QStringLiteral("This plot cannot be saved from here."));
    reset->setEnabled(isZoomed());
    reset->setToolTip(isZoomed() ? QString() : QStringLiteral("The plot shows its automatic range."));
    return m_imageMenu;
}

