#pragma once

// One tuning slider: a QSlider whose integer positions map to values of an
// optimization variable, continuously between two bounds (100 positions) or
// on the grid of a discrete variable (minimum, maximum, step).
//
// Numbers are read in the variable's own unit: a bare number is in that
// unit ("2" with "nH" is 2 nH) and a text with its own suffix or unit is
// converted into it ("1p" with "F" is 1e-12). So the value a slider writes
// (a bare number, general format, 6 significant digits) means the same
// quantity wherever a bare number is read in the variable's unit, which is
// how the simulator reads variable values. A discrete variable with a
// design value list works on positions in that list; its tooltip shows the
// listed values.
//
// Placing the slider at the variable's value never counts as a user change
// (signals are blocked); a value text that does not read as a number
// leaves the slider where it is. Only a user move (while the update flag is
// set) writes a new value text, and tune() hands it on as
// tuneValueChanged(netlistName, value). When tune() runs is chosen with
// setTuneWhileMoving(): on every change of a drag, or once when the drag
// ends (changes by keyboard, wheel or page clicks are tuned at once).

#include "design/varshowntexts.h"

#include <QList>
#include <QPoint>
#include <QSlider>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class OptimVarInput;
class QScrollArea;

// The mapping between slider positions and values.
struct VarSliderMapping
{
    bool ok = false;
    bool discrete = false;
    double minimum = 0.0;
    double maximum = 0.0;
    double step = 0.0;
    int count = 0;

    // The largest number of positions a mapping may have: the slider's
    // range 0..count-1 must stay inside int.
    static constexpr double maxCount = 2147483647.0;

    void reset() { *this = VarSliderMapping(); }
    // Continuous: 100 positions from lower to upper (either may be the
    // larger one). Not ok when a bound is missing (nullopt) or not finite.
    void setContinuous(std::optional<double> lower, std::optional<double> upper);
    // Discrete: from minimum to maximum by step, the step's sign made to
    // follow the direction of the range. Not ok when a number is missing,
    // the step is 0, or the count of positions does not fit the slider.
    void setDiscrete(std::optional<double> minimumValue, std::optional<double> maximumValue,
                     std::optional<double> stepValue);

    // The value at position i; the last position gives the exact maximum.
    double valueAt(int i) const;
    // The position of value v; values at or beyond either end give that
    // end. -1 when the mapping is not ok or v is not a finite number.
    int positionOf(double v) const;
};

// Collects the variables that changed while control is away from the event
// loop and updates each once when it is back. A message that carries many
// iterations changes every variable many times; the views redraw each
// variable once per message instead.
class VarUpdateQueue
{
public:
    VarUpdateQueue(QObject *owner, std::function<void(int varIndex)> update);

    void add(int varIndex);
    // Runs the pending updates now.
    void flush();
    void clear();
    bool isEmpty() const { return m_pending.isEmpty(); }

private:
    QObject *m_owner;
    // Variables up to this index are flagged when queued; beyond (never in
    // a real design) the list is searched.
    static constexpr int maxFlagged = 100000;

    std::function<void(int)> m_update;
    QList<int> m_pending;
    QList<bool> m_queued;
    bool m_scheduled = false;
};

// The rows of a scrolled column that missed their updates while out of
// sight. A view updates only the rows on screen on each iteration and marks
// the others; a marked row is brought up to date as soon as it comes into
// sight (scrolling, resizing, a tab or the window shown), before it is
// painted. The view watches (event filter) the scroll area's viewport and
// its column for the events mayReveal() names.
class VarStaleRows
{
public:
    // Whether the row (a child of the scroll area's widget) shows any part
    // of itself on screen now.
    static bool inSight(const QWidget *row, const QScrollArea *scroll);
    // Whether the event may have brought a row into sight.
    static bool mayReveal(const QEvent *event);
    // Whether the event is user input (key, wheel, mouse press) that a
    // control of a row acts on: a marked row is brought up to date first,
    // so that it never acts on a value it missed.
    static bool isInput(const QEvent *event);

    void reset(qsizetype count);
    void mark(int row);
    // Clears the row's mark; false when it had none.
    bool take(int row);
    bool isEmpty() const { return m_count == 0; }

private:
    QList<bool> m_stale;
    qsizetype m_count = 0;
};

class VarSliderWidget : public QSlider
{
    Q_OBJECT

public:
    explicit VarSliderWidget(QWidget *parent = nullptr);

    QString netlistName() const { return m_netlistName; }
    QString name() const { return m_name; }
    // The variable's value text (a move writes a new one).
    QString valueText() const { return m_value; }
    QString unit() const { return m_unit; }
    QString lowerBound() const { return m_lower; }
    QString upperBound() const { return m_upper; }
    QStringList valueList() const { return m_valueList; }
    const VarSliderMapping &mapping() const { return m_mapping; }
    bool updatesValue() const { return m_updatesValue; }
    // The value as the row and the tooltip show it: with its unit, or the
    // listed design value for a position.
    QString displayValue() const;
    // The variable whose value this is: the value's text is shared with the
    // other panels that show it (see VarValues::withUnits).
    void setVariableIndex(int varIndex) { m_varIndex = varIndex; }
    // The window's value texts the value shown with its unit is taken from
    // (none: made for this slider alone).
    void setShownTexts(std::shared_ptr<VarValues::ShownTexts> texts) { m_shownTexts = std::move(texts); }
    // The tooltip text, made when first asked for after a change: a value
    // arrives on every iteration, the tooltip is seldom looked at.
    QString toolTipText() const;

    void setNetlistName(const QString &netlistName);
    void setName(const QString &name);
    // Places the slider at the value (when it reads) and rebuilds the
    // tooltip; the same text again changes nothing. While the user drags
    // the slider, a value from outside is held back until the drag ends.
    void setValueText(const QString &value);
    // The slider position stays reachable under its usual names.
    using QAbstractSlider::setValue;
    using QAbstractSlider::value;
    void setUnit(const QString &unit);
    // Positions in this list instead of values in the unit (discrete
    // variables with design values); empty for none.
    void setValueList(const QStringList &values);
    void setContinuousRange(const QString &lower, const QString &upper);
    void setDiscreteRange(const QString &minimum, const QString &maximum, const QString &step);
    // Takes every field from the variable at once (one placement).
    void setVariable(const OptimVarInput &variable);

    // While set, a move of the slider writes a new value text.
    void setUpdatesValue(bool updatesValue);
    void setTuneWhileMoving(bool tuneWhileMoving);

    // The value text of position i (what a move there writes).
    QString valueTextAt(int i) const;
    // A line the tooltip adds while the slider is disabled: how to make it
    // move. A disabled slider is drawn dimmed.
    void setInactiveHint(const QString &hint);
    QString inactiveHint() const { return m_inactiveHint; }

Q_SIGNALS:
    void tuneValueChanged(const QString &netlistName, const QString &value);
    // The value text or the tooltip changed (the row's value label follows).
    void displayChanged();
    // The user pressed the slider or gave it the focus.
    void activated();

public Q_SLOTS:
    void updateValue(int position);
    void tune();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    // The wheel scrolls the column of sliders; it moves a slider only once
    // the slider has the focus, so scrolling past it never tunes.
    void wheelEvent(QWheelEvent *event) override;

private Q_SLOTS:
    void handleSliderPressed();
    void handleSliderReleased();

private:
    enum class RangeKind { None, Continuous, Discrete };

    std::optional<double> readNumber(const QString &text) const;
    void rebuildMapping();
    void placeSlider();
    void rebuildToolTip();
    QString shownValue(const QString &text) const;
    // A field changed: recompute (now, or at the end of setVariable).
    void fieldChanged(bool mappingToo);
    void refresh();

    int m_varIndex = -1;
    std::shared_ptr<VarValues::ShownTexts> m_shownTexts;
    QString m_netlistName;
    QString m_name;
    QString m_value;
    QString m_unit;
    QString m_lower;
    QString m_upper;
    QString m_step;
    QStringList m_valueList;
    RangeKind m_rangeKind = RangeKind::None;
    VarSliderMapping m_mapping;

    bool m_updatesValue = false;
    bool m_tuneWhileMoving = false;
    QMetaObject::Connection m_updateConnection;

    // A drag in progress: the value when it began, whether a value waits
    // to be tuned at its end, and a value from outside held back meanwhile.
    QString m_valueAtPress;
    bool m_tunePending = false;
    std::optional<QString> m_heldBackValue;

    // The tooltip's bound and step lines, made when the range changes.
    QString m_toolTipBounds;
    QString m_inactiveHint;
    mutable QString m_toolTip;
    mutable bool m_toolTipDirty = true;
    QString m_lastShownToolTip;
    QPoint m_lastToolTipPos;
    bool m_toolTipShown = false;
    bool m_batch = false;
    bool m_dirty = false;
    bool m_mappingDirty = false;
};
