#include "varrowcolumn.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QScrollArea>

#include <algorithm>
#include <utility>

namespace {

// Above the first and below the last row.
constexpr int columnMargin = 2;

// The controls of a row that Tab stops at, in their order.
QList<QWidget *> tabStops(QWidget *row)
{
    QList<QWidget *> stops;
    for (QWidget *w : row->findChildren<QWidget *>()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(row))
            stops.append(w);
    }
    return stops;
}

} // namespace

VarRowColumn::VarRowColumn(int spacing, const QColor &selectionColor, QWidget *parent)
    : QWidget(parent)
    , m_spacing(spacing)
    , m_selectionColor(selectionColor)
{
}

void VarRowColumn::reset(int count)
{
    const std::map<int, QWidget *> made = std::exchange(m_made, {});
    for (const auto &[index, r] : made) {
        r->hide();
        r->disconnect(this);
        r->deleteLater();
        Q_EMIT rowDropped(index, r);
    }
    m_indexOf.clear();
    m_count = std::max(0, count);
    m_selected = -1;
    if (!m_fixedHeight)
        m_rowHeight = 0;
    heightChanged();
    makeRowsInSight();
    update();
}

QWidget *VarRowColumn::row(int index)
{
    if (index < 0 || index >= m_count || !m_factory)
        return nullptr;
    if (QWidget *made = madeRow(index))
        return made;
    QWidget *r = m_factory(index);
    if (!r)
        return nullptr;
    if (r->parentWidget() != this)
        r->setParent(this);
    m_made.emplace(index, r);
    m_indexOf.insert(r, index);
    Q_EMIT rowMade(index, r);
    if (m_rowHeight == 0) {
        // Every row is as tall as the first one wants to be.
        m_rowHeight = std::max(1, r->sizeHint().height());
        m_minimumWidth = r->minimumSizeHint().width();
        heightChanged();
    }
    r->setGeometry(rowRect(index));
    r->show();
    return r;
}

QWidget *VarRowColumn::madeRow(int index) const
{
    const auto it = m_made.find(index);
    return it == m_made.end() ? nullptr : it->second;
}

int VarRowColumn::indexOf(const QWidget *widget) const
{
    while (widget && widget->parentWidget() != this)
        widget = widget->parentWidget();
    return widget ? m_indexOf.value(widget, -1) : -1;
}

void VarRowColumn::setRowHeight(int height)
{
    m_fixedHeight = height > 0;
    if (height == m_rowHeight)
        return;
    m_rowHeight = std::max(0, height);
    heightChanged();
    placeRows();
    makeRowsInSight();
    update();
}

QRect VarRowColumn::rowRect(int index) const
{
    return QRect(0, columnMargin + index * (m_rowHeight + m_spacing), width(), m_rowHeight);
}

std::pair<int, int> VarRowColumn::indicesInSight() const
{
    if (m_count == 0 || m_rowHeight <= 0)
        return {0, -1};
    QRect seen = rect();
    if (const QWidget *viewport = parentWidget())
        seen &= QRect(-pos(), viewport->size());
    if (seen.isEmpty())
        return {0, -1};
    const int stride = m_rowHeight + m_spacing;
    const int first = std::clamp((seen.top() - columnMargin) / stride, 0, m_count - 1);
    const int last = std::clamp((seen.bottom() - columnMargin) / stride, 0, m_count - 1);
    return {first, last};
}

void VarRowColumn::ensureRowVisible(int index)
{
    // Before the window first shows, the viewport has no size of its own
    // yet: the column stays at its top.
    QScrollArea *scroll = scrollArea();
    if (!scroll || index < 0 || index >= m_count || !window()->isVisible())
        return;
    if (m_rowHeight == 0)
        row(0);
    const QRect r = rowRect(index);
    scroll->ensureVisible(0, r.center().y(), 0, r.height() / 2 + 4);
    makeRowsInSight();
}

void VarRowColumn::setSelectedIndex(int index)
{
    if (index < 0 || index >= m_count)
        index = -1;
    if (index == m_selected)
        return;
    m_selected = index;
    update();
}

QSize VarRowColumn::sizeHint() const
{
    const int rows = m_count * m_rowHeight + std::max(0, m_count - 1) * m_spacing;
    return QSize(m_minimumWidth, rows + 2 * columnMargin);
}

QSize VarRowColumn::minimumSizeHint() const
{
    return sizeHint();
}

bool VarRowColumn::event(QEvent *event)
{
    const bool result = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Resize:
        placeRows();
        makeRowsInSight();
        break;
    case QEvent::Move:
    case QEvent::Show:
        makeRowsInSight();
        break;
    case QEvent::ParentChange:
        // A taller viewport shows more rows while the column keeps its size.
        if (QWidget *viewport = parentWidget())
            viewport->installEventFilter(this);
        break;
    default:
        break;
    }
    return result;
}

bool VarRowColumn::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        makeRowsInSight();
    return QWidget::eventFilter(watched, event);
}

void VarRowColumn::paintEvent(QPaintEvent *)
{
    if (m_selected < 0 || m_rowHeight <= 0)
        return;
    // The whole width, widened into the gaps to the neighbours by half the
    // gap.
    const int halfGap = m_spacing / 2;
    QPainter painter(this);
    painter.fillRect(rowRect(m_selected).adjusted(0, -halfGap, 0, halfGap), m_selectionColor);
}

bool VarRowColumn::focusNextPrevChild(bool next)
{
    QWidget *focus = QApplication::focusWidget();
    const int index = indexOf(focus);
    if (index < 0)
        return QWidget::focusNextPrevChild(next);
    // The next control in the same row, then the rows in their order.
    const QList<QWidget *> stops = tabStops(madeRow(index));
    const qsizetype at = stops.indexOf(focus);
    const qsizetype to = at < 0 ? -1 : at + (next ? 1 : -1);
    if (to >= 0 && to < stops.size()) {
        stops.at(to)->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    for (int i = index + (next ? 1 : -1); i >= 0 && i < m_count; i += next ? 1 : -1) {
        if (focusInRow(i, next))
            return true;
    }
    // Past the ends: the first control along the window's chain outside
    // the column (rows made out of order stand anywhere in that chain).
    QWidget *w = focus;
    do
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
    while (w != focus
           && (isAncestorOf(w) || !(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled() || !w->isVisible()
               || w->focusProxy()));
    if (w == focus)
        return false;
    w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

bool VarRowColumn::focusInRow(int index, bool first)
{
    QWidget *r = row(index);
    if (!r)
        return false;
    const QList<QWidget *> stops = tabStops(r);
    if (stops.isEmpty())
        return false;
    ensureRowVisible(index);
    QWidget *target = first ? stops.constFirst() : stops.constLast();
    target->setFocus(first ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

QScrollArea *VarRowColumn::scrollArea() const
{
    const QWidget *viewport = parentWidget();
    return viewport ? qobject_cast<QScrollArea *>(viewport->parentWidget()) : nullptr;
}

void VarRowColumn::makeRowsInSight()
{
    if (m_making || m_count == 0 || !m_factory)
        return;
    m_making = true;
    if (m_rowHeight == 0)
        row(0);
    const auto [first, last] = indicesInSight();
    for (int i = first; i <= last; ++i)
        row(i);
    if (int(m_made.size()) > keptRows && first <= last)
        dropRowsOutOfSight(first, last);
    m_making = false;
}

void VarRowColumn::dropRowsOutOfSight(int first, int last)
{
    // A screen's worth of rows either side stays, for scrolling back.
    const int margin = last - first + 1;
    const QWidget *focus = QApplication::focusWidget();
    for (auto it = m_made.begin(); it != m_made.end();) {
        QWidget *r = it->second;
        const int index = it->first;
        if ((index >= first - margin && index <= last + margin) || (focus && r->isAncestorOf(focus))
            || (m_keep && m_keep(r))) {
            ++it;
            continue;
        }
        it = m_made.erase(it);
        m_indexOf.remove(r);
        r->hide();
        r->disconnect(this);
        r->deleteLater();
        Q_EMIT rowDropped(index, r);
    }
}

void VarRowColumn::placeRows()
{
    for (const auto &[index, r] : m_made) {
        const QRect wanted = rowRect(index);
        if (r->geometry() != wanted)
            r->setGeometry(wanted);
    }
}

void VarRowColumn::heightChanged()
{
    updateGeometry();
    // The scroll area sizes the column anew on a layout request of its own.
    if (QScrollArea *scroll = scrollArea()) {
        QEvent request(QEvent::LayoutRequest);
        QCoreApplication::sendEvent(scroll, &request);
    }
}
