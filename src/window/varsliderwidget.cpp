#include "varsliderwidget.h"

#include "design/varvalues.h"
#include "model/optiminputrecords.h"
#include "units/realstringparser.h"

#include <QCursor>
#include <QHelpEvent>
#include <QPainter>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QSignalBlocker>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

// ---------------------------------------------------------------- mapping

namespace {

bool finite(std::optional<double> v)
{
    return v && std::isfinite(*v);
}

// floor(x + 0.5): the rounding the mapping rules use.
double roundHalfUp(double x)
{
    return std::floor(x + 0.5);
}

} // namespace

void VarSliderMapping::setContinuous(std::optional<double> lower, std::optional<double> upper)
{
    reset();
    ok = true;
    if (lower)
        minimum = *lower;
    if (upper)
        maximum = *upper;
    if (!finite(lower) || !finite(upper))
        ok = false;
    count = 100;
    discrete = false;
    if (count < 1)
        ok = false;
    // A span beyond the doubles (1e308 to -1e308) would give infinite values.
    if (ok && !std::isfinite(maximum - minimum))
        ok = false;
}

void VarSliderMapping::setDiscrete(std::optional<double> minimumValue, std::optional<double> maximumValue,
                                   std::optional<double> stepValue)
{
    reset();
    ok = true;
    discrete = true;
    if (minimumValue)
        minimum = *minimumValue;
    if (maximumValue)
        maximum = *maximumValue;
    if (stepValue)
        step = *stepValue;
    if (!finite(minimumValue) || !finite(maximumValue) || !finite(stepValue))
        ok = false;
    if (step == 0.0)
        ok = false;
    if (!ok)
        return;
    if (maximum > minimum)
        step = std::fabs(step);
    else if (maximum < minimum)
        step = -std::fabs(step);

    // The count of positions uses the step's magnitude: the sign only says
    // which way the grid runs. A tiny step over a wide range gives a count
    // the slider's int range cannot hold; such a mapping is not ok.
    const double span = std::fabs(maximum - minimum);
    const double positions = roundHalfUp(std::ceil(span / std::fabs(step) * 0.99999999999999) + 1.0);
    if (!std::isfinite(span) || !std::isfinite(positions) || positions > maxCount) {
        ok = false;
        return;
    }
    count = int(positions);
}

double VarSliderMapping::valueAt(int i) const
{
    if (!ok)
        return 0.0;
    if (count < 2)
        return minimum;
    if (i >= count - 1)
        return maximum;
    i = std::max(i, 0);
    if (!discrete)
        return minimum + (maximum - minimum) * i / (count - 1);
    return minimum + i * step;
}

int VarSliderMapping::positionOf(double v) const
{
    if (!ok || count < 1 || !std::isfinite(v))
        return -1;
    if (count < 2)
        return 0;
    const int last = count - 1;

    if (!discrete) {
        if (maximum >= minimum) {
            if (v <= minimum)
                return 0;
            if (v >= maximum)
                return last;
        } else {
            if (v <= maximum)
                return last;
            if (v >= minimum)
                return 0;
        }
        const double p = roundHalfUp(last * (v - minimum) / (maximum - minimum));
        return int(std::clamp(p, 0.0, double(last)));
    }

    // The positions' values run from minimum towards maximum; "before"
    // says whether a comes before b in that direction.
    const bool ascending = maximum >= minimum;
    const auto before = [ascending](double a, double b) { return ascending ? a < b : a > b; };
    if (!before(minimum, v))
        return 0;
    if (!before(v, maximum))
        return last;
    int lo = 0;
    int hi = last;
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        const double m = valueAt(mid);
        if (before(m, v))
            lo = mid;
        else if (before(v, m))
            hi = mid;
        else
            return mid;
    }
    // The nearer neighbour; a tie goes to the one nearer the minimum.
    return std::fabs(v - valueAt(lo)) <= std::fabs(valueAt(hi) - v) ? lo : hi;
}

// ---------------------------------------------------------------- queue

VarUpdateQueue::VarUpdateQueue(QObject *owner, std::function<void(int)> update)
    : m_owner(owner)
    , m_update(std::move(update))
{
}

void VarUpdateQueue::add(int varIndex)
{
    // Every variable changes on every iteration: a flag per variable says
    // whether it waits already, without searching the list.
    if (varIndex >= 0 && varIndex < m_queued.size()) {
        if (!m_queued.at(varIndex)) {
            m_queued[varIndex] = true;
            m_pending.append(varIndex);
        }
    } else if (varIndex >= 0 && varIndex < maxFlagged) {
        m_queued.resize(varIndex + 1);
        m_queued[varIndex] = true;
        m_pending.append(varIndex);
    } else if (!m_pending.contains(varIndex)) {
        m_pending.append(varIndex);
    }
    if (m_scheduled)
        return;
    m_scheduled = true;
    // Queued to the owner: nothing runs once the owner is gone.
    QMetaObject::invokeMethod(m_owner, [this] { flush(); }, Qt::QueuedConnection);
}

void VarUpdateQueue::flush()
{
    m_scheduled = false;
    const QList<int> pending = std::exchange(m_pending, {});
    m_queued.fill(false);
    for (int varIndex : pending)
        m_update(varIndex);
}

void VarUpdateQueue::clear()
{
    m_pending.clear();
    m_queued.fill(false);
}

// ---------------------------------------------------------------- stale rows

bool VarStaleRows::inSight(const QWidget *row, const QScrollArea *scroll)
{
    // A hidden row, or one on a page or in a window not shown, is out of
    // sight; so is every row while the column is not the scroll area's.
    const QWidget *column = scroll->widget();
    if (!row || !column || row->parentWidget() != column || !row->isVisible())
        return false;
    const QRect seen(-column->pos(), scroll->viewport()->size());
    return row->geometry().intersects(seen);
}

bool VarStaleRows::mayReveal(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::ShowToParent:
        return true;
    default:
        return false;
    }
}

bool VarStaleRows::isInput(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::Wheel:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return true;
    default:
        return false;
    }
}

void VarStaleRows::reset(qsizetype count)
{
    m_stale = QList<bool>(count, false);
    m_count = 0;
}

void VarStaleRows::mark(int row)
{
    if (row < 0 || row >= m_stale.size() || m_stale.at(row))
        return;
    m_stale[row] = true;
    ++m_count;
}

bool VarStaleRows::take(int row)
{
    if (row < 0 || row >= m_stale.size() || !m_stale.at(row))
        return false;
    m_stale[row] = false;
    --m_count;
    return true;
}

// ---------------------------------------------------------------- slider

VarSliderWidget::VarSliderWidget(QWidget *parent)
    : QSlider(Qt::Horizontal, parent)
{
    setObjectName(QStringLiteral("varSlider"));
    setTracking(true);
    setRange(0, 99);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QAbstractSlider::sliderPressed, this, &VarSliderWidget::handleSliderPressed);
    connect(this, &QAbstractSlider::sliderReleased, this, &VarSliderWidget::handleSliderReleased);
}

void VarSliderWidget::setNetlistName(const QString &netlistName)
{
    m_netlistName = netlistName;
}

void VarSliderWidget::setName(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    fieldChanged(false);
}

void VarSliderWidget::setValueText(const QString &value)
{
    // Moving the handle under the user's hand would fight the drag; the
    // value waits for the drag's end.
    if (isSliderDown()) {
        m_heldBackValue = value;
        return;
    }
    if (value == m_value)
        return;
    m_value = value;
    fieldChanged(false);
}

void VarSliderWidget::setUnit(const QString &unit)
{
    if (unit == m_unit)
        return;
    m_unit = unit;
    // The numbers of the range are read in the unit.
    fieldChanged(true);
}

void VarSliderWidget::setValueList(const QStringList &values)
{
    if (values == m_valueList)
        return;
    m_valueList = values;
    fieldChanged(true);
}

void VarSliderWidget::setContinuousRange(const QString &lower, const QString &upper)
{
    if (m_rangeKind == RangeKind::Continuous && lower == m_lower && upper == m_upper && m_step.isEmpty())
        return;
    m_rangeKind = RangeKind::Continuous;
    m_lower = lower;
    m_upper = upper;
    m_step.clear();
    fieldChanged(true);
}

void VarSliderWidget::setDiscreteRange(const QString &minimum, const QString &maximum, const QString &step)
{
    if (m_rangeKind == RangeKind::Discrete && minimum == m_lower && maximum == m_upper && step == m_step)
        return;
    m_rangeKind = RangeKind::Discrete;
    m_lower = minimum;
    m_upper = maximum;
    m_step = step;
    fieldChanged(true);
}

void VarSliderWidget::setVariable(const OptimVarInput &variable)
{
    m_batch = true;
    setNetlistName(variable.netlistName());
    setName(variable.displayName());
    setUnit(variable.unit());
    setValueList(VarValues::hasValueList(variable) ? variable.designValues() : QStringList());
    if (variable.constraintType() == ConstraintDiscrete) {
        setDiscreteRange(variable.param1(), variable.param2(), variable.param3());
    } else {
        QString lower;
        QString upper;
        VarValues::boundTexts(variable, &lower, &upper);
        setContinuousRange(lower, upper);
    }
    setValueText(variable.value());
    m_batch = false;
    if (m_dirty)
        refresh();
}

void VarSliderWidget::fieldChanged(bool mappingToo)
{
    m_dirty = true;
    m_mappingDirty = m_mappingDirty || mappingToo;
    if (!m_batch)
        refresh();
}

void VarSliderWidget::refresh()
{
    if (m_mappingDirty)
        rebuildMapping();
    m_dirty = false;
    m_mappingDirty = false;
    placeSlider();
    rebuildToolTip();
    Q_EMIT displayChanged();
}

std::optional<double> VarSliderWidget::readNumber(const QString &text) const
{
    if (m_valueList.isEmpty())
        return VarValues::number(text, m_unit);
    // A position in the design value list, or one of the listed values.
    bool isInt = false;
    const int position = text.trimmed().toInt(&isInt);
    if (isInt)
        return double(position);
    const auto wanted = VarValues::number(text, m_unit);
    if (!wanted)
        return std::nullopt;
    for (qsizetype i = 0; i < m_valueList.size(); ++i) {
        const auto listed = VarValues::number(m_valueList.at(i), m_unit);
        if (listed && std::fabs(*listed - *wanted) <= 1e-9 * std::fabs(*wanted))
            return double(i);
    }
    return std::nullopt;
}

void VarSliderWidget::rebuildMapping()
{
    switch (m_rangeKind) {
    case RangeKind::Continuous:
        m_mapping.setContinuous(readNumber(m_lower), readNumber(m_upper));
        break;
    case RangeKind::Discrete:
        // A list's step counts positions: a bare number, no unit.
        m_mapping.setDiscrete(readNumber(m_lower), readNumber(m_upper),
                              m_valueList.isEmpty() ? VarValues::number(m_step, m_unit)
                                                    : VarValues::number(m_step, QString()));
        break;
    case RangeKind::None:
        m_mapping.reset();
        break;
    }
    const QSignalBlocker blocker(this);
    setRange(0, std::max(0, m_mapping.count - 1));

    m_toolTipBounds.clear();
    if (!m_upper.isEmpty())
        m_toolTipBounds += QStringLiteral("<br>    Max = ") + shownValue(m_upper).toHtmlEscaped();
    if (!m_lower.isEmpty())
        m_toolTipBounds += QStringLiteral("<br>    Min = ") + shownValue(m_lower).toHtmlEscaped();
    if (!m_step.isEmpty()) {
        const QString step = m_valueList.isEmpty() ? VarValues::withUnits(m_step, m_unit) : m_step.trimmed();
        m_toolTipBounds += QStringLiteral("<br>    Step = ") + step.toHtmlEscaped();
    }
}

void VarSliderWidget::placeSlider()
{
    if (m_value.isEmpty() || m_lower.isEmpty() || m_upper.isEmpty())
        return;
    // A value that does not read leaves the slider where it is.
    const auto v = readNumber(m_value);
    if (!v)
        return;
    const int position = m_mapping.positionOf(*v);
    if (position < 0)
        return;
    const QSignalBlocker blocker(this);
    QAbstractSlider::setValue(position);
}

QString VarSliderWidget::shownValue(const QString &text) const
{
    if (!m_valueList.isEmpty()) {
        bool isInt = false;
        const int position = text.trimmed().toInt(&isInt);
        if (isInt && position >= 0 && position < m_valueList.size())
            return m_valueList.at(position);
        return text.trimmed();
    }
    return VarValues::withUnits(text, m_unit);
}

QString VarSliderWidget::displayValue() const
{
    if (!m_valueList.isEmpty())
        return shownValue(m_value);
    return m_shownTexts ? m_shownTexts->withUnits(m_value, m_unit, m_varIndex) : VarValues::withUnits(m_value, m_unit);
}

QString VarSliderWidget::toolTipText() const
{
    if (m_toolTipDirty) {
        m_toolTip = QStringLiteral("<b>") + m_name.toHtmlEscaped() + QStringLiteral(" = ")
            + displayValue().toHtmlEscaped() + QStringLiteral("</b>") + m_toolTipBounds;
        m_toolTip.replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
        m_toolTipDirty = false;
    }
    if (isEnabled() || m_inactiveHint.isEmpty())
        return m_toolTip;
    return m_toolTip + QStringLiteral("<br>") + m_inactiveHint.toHtmlEscaped();
}

void VarSliderWidget::rebuildToolTip()
{
    m_toolTipDirty = true;
    // A tooltip of this slider on screen follows the text at the same place,
    // so the value can be read while dragging.
    if (m_toolTipShown && QToolTip::isVisible() && QToolTip::text() == m_lastShownToolTip) {
        const QString text = toolTipText();
        if (text != m_lastShownToolTip) {
            QToolTip::showText(m_lastToolTipPos, text, this);
            m_lastShownToolTip = text;
        }
    }
}

QString VarSliderWidget::valueTextAt(int i) const
{
    return RealStringParser::formatNumber(m_mapping.valueAt(i), 6);
}

void VarSliderWidget::setUpdatesValue(bool updatesValue)
{
    if (updatesValue == m_updatesValue)
        return;
    m_updatesValue = updatesValue;
    if (updatesValue)
        m_updateConnection = connect(this, &QAbstractSlider::valueChanged, this, &VarSliderWidget::updateValue);
    else
        disconnect(m_updateConnection);
}

void VarSliderWidget::setTuneWhileMoving(bool tuneWhileMoving)
{
    m_tuneWhileMoving = tuneWhileMoving;
}

void VarSliderWidget::updateValue(int position)
{
    if (!m_mapping.ok)
        return;
    const QString text = valueTextAt(position);
    if (text == m_value)
        return;
    m_value = text;
    rebuildToolTip();
    Q_EMIT displayChanged();
    if (m_tuneWhileMoving || !isSliderDown())
        tune();
    else
        m_tunePending = true;
}

void VarSliderWidget::tune()
{
    if (m_netlistName.isEmpty() || m_value.isEmpty())
        return;
    Q_EMIT tuneValueChanged(m_netlistName, m_value);
}

void VarSliderWidget::handleSliderPressed()
{
    m_valueAtPress = m_value;
    m_tunePending = false;
    m_heldBackValue.reset();
    Q_EMIT activated();
    // Show the value at the handle while it is dragged.
    m_lastToolTipPos = QCursor::pos();
    m_lastShownToolTip = toolTipText();
    m_toolTipShown = true;
    QToolTip::showText(m_lastToolTipPos, m_lastShownToolTip, this);
}

void VarSliderWidget::handleSliderReleased()
{
    const bool userChanged = m_value != m_valueAtPress;
    if (m_tunePending && userChanged)
        tune();
    m_tunePending = false;
    // A value that came from outside during the drag is taken now, unless
    // the user set one of their own (the model takes that one).
    if (m_heldBackValue) {
        const QString held = *m_heldBackValue;
        m_heldBackValue.reset();
        if (!userChanged)
            setValueText(held);
    }
}

bool VarSliderWidget::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        m_lastToolTipPos = help->globalPos();
        m_lastShownToolTip = toolTipText();
        m_toolTipShown = true;
        QToolTip::showText(m_lastToolTipPos, m_lastShownToolTip, this);
        return true;
    }
    return QSlider::event(event);
}

void VarSliderWidget::setInactiveHint(const QString &hint)
{
    if (hint == m_inactiveHint)
        return;
    m_inactiveHint = hint;
    rebuildToolTip();
}

void VarSliderWidget::paintEvent(QPaintEvent *event)
{
    if (isEnabled()) {
        QSlider::paintEvent(event);
        return;
    }
    // The style draws a disabled slider much like an enabled one: dimmed,
    // it shows that it does not move now.
    QPainter painter(this);
    painter.setOpacity(0.4);
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    if (tickPosition() != NoTicks)
        option.subControls |= QStyle::SC_SliderTickmarks;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}

void VarSliderWidget::wheelEvent(QWheelEvent *event)
{
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QSlider::wheelEvent(event);
}

void VarSliderWidget::focusInEvent(QFocusEvent *event)
{
    QSlider::focusInEvent(event);
    Q_EMIT activated();
}
