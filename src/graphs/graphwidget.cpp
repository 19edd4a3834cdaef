#include "graphwidget.h"
#include "graphwidgetlayout.h"
#include "units/realstringparser.h"

#include <QEvent>
#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

GraphWidget::GraphWidget(QWidget *parent)
    : QLabel(parent)
{
    m_series.push_back(std::make_unique<GraphSeriesData>());
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMinimumSize(minimumSizeHint());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_emptyText = QStringLiteral("No data");
}

GraphWidget::~GraphWidget() = default;

void GraphWidget::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    invalidate();
}

void GraphWidget::setMarkedIndex(int index)
{
    if (index == m_markedIndex)
        return;
    m_markedIndex = index;
    update();
}

void GraphWidget::setTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    invalidate();
}

void GraphWidget::setFirstIterationNumber(int number)
{
    if (number == m_firstIteration)
        return;
    m_firstIteration = number;
    invalidate();
}

void GraphWidget::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    invalidate();
}

void GraphWidget::setEmptyText(const QString &text)
{
    if (text == m_emptyText)
        return;
    m_emptyText = text;
    invalidate();
}

void GraphWidget::setValueUnits(const QString &units)
{
    if (units == m_valueUnits)
        return;
    m_valueUnits = units;
    invalidate();
}

QString GraphWidget::formatValue(double value, int significantDigits) const
{
    if (m_valueUnits.isEmpty())
        return RealStringParser::formatNumber(value, significantDigits);
    return RealStringParser::formatScaled(value, significantDigits, m_valueUnits).text();
}

QSize GraphWidget::sizeHint() const
{
    return QSize(240, 110);
}

QSize GraphWidget::minimumSizeHint() const
{
    return QSize(60, 24);
}

void GraphWidget::invalidate()
{
    m_cacheValid = false;
    update();
}

// ---------------------------------------------------------------------------
// Events

void GraphWidget::paintEvent(QPaintEvent *)
{
    updateCache();
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_cache);
    if (m_markedIndex >= firstShownIndex() && m_markedIndex < firstShownIndex() + shownCount()) {
        const Layout layout = layoutFor(size());
        const int x = int(std::round(layout.xAxis.xOf(m_markedIndex)));
        painter.setPen(QPen(QColor(230, 120, 0), 2));
        painter.drawLine(x, layout.plot.top() + 1, x, layout.plot.bottom() - 1);
    }
    if (m_hoverIndex >= 0 && m_hoverIndex < firstShownIndex() + shownCount())
        drawHoverMarks(painter);
}

void GraphWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        Q_EMIT rightMouseClick(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        Q_EMIT clicked();
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void GraphWidget::mouseMoveEvent(QMouseEvent *event)
{
    const int index = indexAt(event->position().toPoint());
    if (index != m_hoverIndex) {
        m_hoverIndex = index;
        update();
        if (QToolTip::isVisible()) {
            const QString text = toolTipTextAt(event->position().toPoint());
            if (text.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(event->globalPosition().toPoint(), text, this);
        }
    }
    QLabel::mouseMoveEvent(event);
}

void GraphWidget::leaveEvent(QEvent *event)
{
    if (m_hoverIndex >= 0) {
        m_hoverIndex = -1;
        update();
    }
    QLabel::leaveEvent(event);
}

bool GraphWidget::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = toolTipTextAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QLabel::event(event);
}

void GraphWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::EnabledChange || event->type() == QEvent::StyleChange)
        invalidate();
    QLabel::changeEvent(event);
}

int GraphWidget::indexAt(const QPoint &pos) const
{
    const Layout layout = layoutFor(size());
    if (layout.count == 0 || !layout.plot.adjusted(-2, -2, 2, 2).contains(pos))
        return -1;
    const int index = layout.xAxis.indexAt(pos.x());
    if (index < layout.xAxis.first || index >= layout.count)
        return -1;
    return index;
}

QString GraphWidget::toolTipTextAt(const QPoint &pos) const
{
    const int index = indexAt(pos);
    if (index < 0)
        return QString();
    QStringList lines;
    lines << QStringLiteral("Iteration %1").arg(m_firstIteration + index);
    for (int s = 0; s < seriesCount(); ++s) {
        if (index >= pointCount(s))
            continue;
        QString name = seriesName(s);
        if (name.isEmpty())
            name = (seriesCount() == 1 && !m_title.isEmpty()) ? m_title : QStringLiteral("Value");
        const QString value = valueTextAt(index, s);
        lines << QStringLiteral("%1: %2").arg(name, value.isEmpty() ? QStringLiteral("no value") : value);
    }
    if (m_stale)
        lines << QStringLiteral("(results are stale)");
    return lines.join(QLatin1Char('\n'));
}

