#include "bargraph.h"

#include "graphaxes.h"
#include "graphwidget.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// The text as it fits width in font: whole when it does (its width from the
// label cache, not shaped again), else elided at the right.
QString fitted(const QFont &font, const QString &text, int width)
{
    const QFontMetrics fm(font);
    return GraphAxes::textWidth(fm, font, text) < width ? text : fm.elidedText(text, Qt::ElideRight, width);
}

} // namespace

// ---------------------------------------------------------------- BarGraphBar

BarGraphBar::BarGraphBar(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void BarGraphBar::setLabel(const QString &label)
{
    if (label == m_label)
        return;
    m_label = label;
    updateToolTip();
    updateGeometry();
    update();
}

void BarGraphBar::setValue(double fraction, const QString &valueText)
{
    if (!std::isnan(fraction))
        fraction = std::clamp(fraction, 0.0, 1.0);
    if ((fraction == m_fraction || (std::isnan(fraction) && std::isnan(m_fraction))) && valueText == m_valueText)
        return;
    m_fraction = fraction;
    m_valueText = valueText;
    updateToolTip();
    update();
}

void BarGraphBar::updateToolTip()
{
    setToolTip(m_valueText.isEmpty() ? m_label : m_label + QLatin1Char('\n') + m_valueText);
}

int BarGraphBar::trackWidth() const
{
    // The text keeps its whole width; the bar shortens for it.
    const int valueWidth = GraphAxes::textWidth(fontMetrics(), font(), m_valueText) + 8;
    return std::max(0, width() - m_labelWidth - 4 - valueWidth);
}

QRect BarGraphBar::valueRect(int barWidth) const
{
    return QRect(m_labelWidth + barWidth + 4, 0, std::max(0, width() - m_labelWidth - barWidth - 4), height());
}

int BarGraphBar::barWidth() const
{
    if (!m_active || std::isnan(m_fraction) || m_fraction <= 0)
        return 0;
    return std::max(int(std::round(m_fraction * trackWidth())), 2); // a small share stays visible
}

QString BarGraphBar::shownValueText() const
{
    return fitted(font(), m_valueText, std::max(0, valueRect(barWidth()).width() - 2));
}

void BarGraphBar::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    update();
}

void BarGraphBar::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void BarGraphBar::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
    if (selected)
        Q_EMIT this->selected();
    else
        Q_EMIT deselected();
}

void BarGraphBar::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    update();
}

void BarGraphBar::setLabelWidth(int width)
{
    if (width == m_labelWidth)
        return;
    m_labelWidth = width;
    update();
}

int BarGraphBar::labelWidthHint() const
{
    return fontMetrics().horizontalAdvance(m_label) + 10;
}

QSize BarGraphBar::sizeHint() const
{
    return QSize(labelWidthHint() + 160, fontMetrics().height() + 8);
}

QSize BarGraphBar::minimumSizeHint() const
{
    return QSize(80, fontMetrics().height() + 6);
}

void BarGraphBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette pal = palette();
    const QRect r = rect();
    if (m_selected)
        painter.fillRect(r, GraphWidget::selectionHighlightColor());
    const QColor text = pal.color(m_active && !m_stale ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);

    // Label column.
    painter.setPen(text);
    QFont f = font();
    f.setBold(m_selected);
    painter.setFont(f);
    const QRect labelRect(4, 0, std::max(0, m_labelWidth - 8), r.height());
    GraphAxes::drawLabel(painter, labelRect, Qt::AlignLeft | Qt::AlignVCenter, fitted(f, m_label, labelRect.width()));
    painter.setFont(font());

    // Bar area: the bar, then its text right of it.
    const int left = m_labelWidth;
    const int full = trackWidth();
    const QRect track(left, 3, full, r.height() - 6);
    painter.fillRect(track, pal.color(QPalette::Base).darker(104));
    const int barWidth = this->barWidth();
    if (barWidth > 0) {
        QColor c = m_stale ? pal.color(QPalette::Disabled, QPalette::WindowText) : m_color;
        painter.fillRect(QRect(left, 3, barWidth, r.height() - 6), c);
    }
    painter.setPen(text);
    GraphAxes::drawLabel(painter, valueRect(barWidth), Qt::AlignLeft | Qt::AlignVCenter, shownValueText());
    if (m_selected) {
        painter.setPen(QPen(pal.color(QPalette::Highlight), 1));
        painter.drawRect(r.adjusted(0, 0, -1, -1));
    }
}

void BarGraphBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        setSelected(true);
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

// ------------------------------------------------------------- BarGraphLayout

BarGraphLayout::BarGraphLayout(QWidget *parent)
    : QLayout(parent)
{
    setContentsMargins(2, 2, 2, 2);
    setSpacing(2);
}

BarGraphLayout::~BarGraphLayout()
{
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

void BarGraphLayout::addItem(QLayoutItem *item)
{
    m_items.append(item);
}

QLayoutItem *BarGraphLayout::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

QLayoutItem *BarGraphLayout::takeAt(int index)
{
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

int BarGraphLayout::count() const
{
    return int(m_items.size());
}

QSize BarGraphLayout::sizeHint() const
{
    const QMargins m = contentsMargins();
    int w = 0, h = 0;
    for (QLayoutItem *item : m_items) {
        const QSize s = item->sizeHint();
        w = std::max(w, s.width());
        h += s.height();
    }
    h += std::max(0, int(m_items.size()) - 1) * spacing();
    return QSize(w + m.left() + m.right(), h + m.top() + m.bottom());
}

QSize BarGraphLayout::minimumSize() const
{
    const QMargins m = contentsMargins();
    int w = 0, h = 0;
    for (QLayoutItem *item : m_items) {
        const QSize s = item->minimumSize();
        w = std::max(w, s.width());
        h += s.height();
    }
    h += std::max(0, int(m_items.size()) - 1) * spacing();
    return QSize(w + m.left() + m.right(), h + m.top() + m.bottom());
}

int BarGraphLayout::labelWidthFor(int width) const
{
    int label = 0;
    for (QLayoutItem *item : m_items) {
        if (auto *bar = qobject_cast<BarGraphBar *>(item->widget()))
            label = std::max(label, bar->labelWidthHint());
    }
    return std::min(label, int(width * 0.4));
}

void BarGraphLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    const QRect r = rect.marginsRemoved(contentsMargins());
    const int labelWidth = labelWidthFor(r.width());
    int y = r.top();
    for (QLayoutItem *item : m_items) {
        const int h = item->sizeHint().height();
        item->setGeometry(QRect(r.left(), y, r.width(), h));
        if (auto *bar = qobject_cast<BarGraphBar *>(item->widget()))
            bar->setLabelWidth(labelWidth);
        y += h + spacing();
    }
}

// ------------------------------------------------------------------- BarGraph

BarGraph::BarGraph(QWidget *parent)
    : QWidget(parent)
    , m_layout(new BarGraphLayout(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

BarGraphBar *BarGraph::bar(int index) const
{
    return index >= 0 && index < m_bars.size() ? m_bars.at(index) : nullptr;
}

BarGraphBar *BarGraph::addBar(const QString &label)
{
    auto *bar = new BarGraphBar(this);
    bar->setObjectName(QStringLiteral("bar%1").arg(m_bars.size()));
    bar->setLabel(label);
    connect(bar, &BarGraphBar::selected, this, [this, bar] { handleSelected(bar); });
    m_bars.append(bar);
    m_layout->addWidget(bar);
    bar->show();
    updateGeometry();
    update();
    return bar;
}

void BarGraph::setBarCount(int count)
{
    count = std::max(0, count);
    // The same count (every iteration sets it) leaves the bars as they are:
    // no repaint of all of them, no new layout.
    if (count == m_bars.size())
        return;
    while (m_bars.size() > count) {
        BarGraphBar *bar = m_bars.takeLast();
        m_layout->removeWidget(bar);
        delete bar;
    }
    while (m_bars.size() < count)
        addBar(QString());
    updateGeometry();
    update();
}

int BarGraph::selectedBar() const
{
    for (int i = 0; i < m_bars.size(); ++i) {
        if (m_bars.at(i)->isSelected())
            return i;
    }
    return -1;
}

void BarGraph::setEmptyText(const QString &text)
{
    m_emptyText = text;
    update();
}

QSize BarGraph::sizeHint() const
{
    const QSize s = m_layout->sizeHint();
    return QSize(std::max(200, s.width()), std::max(s.height(), fontMetrics().height() + 8));
}

QSize BarGraph::minimumSizeHint() const
{
    return QSize(100, fontMetrics().height() + 8);
}

void BarGraph::setBarSelected(int index)
{
    m_programmatic = true;
    for (int i = 0; i < m_bars.size(); ++i) {
        if (i != index)
            m_bars.at(i)->setSelected(false);
    }
    if (BarGraphBar *b = bar(index))
        b->setSelected(true);
    m_programmatic = false;
}

void BarGraph::clearSelection()
{
    setBarSelected(-1);
}

void BarGraph::handleSelected(BarGraphBar *selectedBar)
{
    const bool programmatic = m_programmatic;
    m_programmatic = true;
    for (BarGraphBar *b : std::as_const(m_bars)) {
        if (b != selectedBar)
            b->setSelected(false);
    }
    m_programmatic = programmatic;
    if (programmatic)
        return;
    Q_EMIT barSelected(int(m_bars.indexOf(selectedBar)));
    Q_EMIT barSelected(static_cast<QWidget *>(selectedBar));
}

void BarGraph::paintEvent(QPaintEvent *)
{
    if (!m_bars.isEmpty() || m_emptyText.isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
    painter.drawText(rect().adjusted(4, 4, -4, -4), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, m_emptyText);
}
