#pragma once

// Goal plots: one goal's traces against its limit lines, drawn with QPainter
// into a cached pixmap that the label shows.
//
// What is drawn: the current traces in the goal's colour; the initial traces
// (dashed, lighter) while they differ from the current ones, so the engineer
// sees how far the optimization moved the response; the traces before
// tuning (dashed, grey) while tuning is on; each limit line as a thick dark
// segment over its range of the swept variable, with the side that violates
// the limit tinted. The header names the goal, a legend says what each line
// style means, and the tooltip gives the response under the cursor and the
// limits in words.
//
// Range (GraphScale::goalPlotRange): the extent of the current traces (1) or
// of traces and limit lines (2); "fit to limit lines" (0) spans the limit
// lines horizontally and fits the vertical range to them and to the traces
// within that span. The vertical range is then widened by 5 percent of its
// height below and above.
//
// The automatic range holds still (GraphScale::keepsGoalPlotRange): the range
// last shown stays while the newly computed one lies inside it with the same
// swept range and at least 85 percent of its height; otherwise the new one is
// taken. So the axes do not jitter from iteration to iteration, and the kept
// background layer stays valid. The kept range is dropped when the goal, the
// x-axis scaling, the initial traces, the widget's size or the zoom change,
// and when the traces become empty.
//
// Units: the swept axis, the tooltip and the limit ranges write values of
// the independent variable in its unit with engineering prefixes ("10 MHz
// < freq < 800 MHz", "2 ms < time"); the unit is the one the goal states
// for the variable, else the one its name implies (GraphScale::
// indepVarUnit: freq Hz, time s, a swept source V or A). The goal's
// expression ("dB(S21)") is the caption of the value axis.
//
// Files: the widget, its events, zoom, pan and menu (goalgraphwidget.cpp);
// the rules and ranges (goalgraphrange.h/.cpp); the drawing
// (goalgraphpainter.cpp); what those share (goalgraphlayout.h).
//
// A scalar goal (no independent variable: an operating-point value) has no
// curve to draw: its value stands as a marker on a horizontal value axis
// that spans the value and the limits, each limit a line across the plot
// with its violating side tinted (see isScalarGoal).
//
// Zoom and pan: the wheel over the plot zooms around the cursor (with Shift
// the swept axis only, with Ctrl the value axis only), dragging with the
// left button pans, a double-click returns to the automatic range. The
// range the user set stays while new traces arrive, until reset; a new goal
// or another x-axis scaling resets it. The context menu copies the plot to
// the clipboard ("Copy Image"), asks its owner to save it ("Save
// Image...", saveImageRequested) and resets the zoom.

#include "goalgraphrange.h"
#include "graphscale.h"
#include "model/optiminputrecords.h"
#include "model/optimoutputrecords.h"

#include <QColor>
#include <QLabel>
#include <QPixmap>
#include <QPointF>

#include <limits>
#include <optional>
#include <vector>

class QMenu;

class GoalGraphWidget : public QLabel
{
    Q_OBJECT

public:
    // FitToLimitLines, FitToTrace, FitToTraceAndLimitLines.
    using enum GraphScale::GoalPlotFit;

    explicit GoalGraphWidget(QWidget *parent = nullptr);

    // The goal's definition: name, independent variables, limits.
    void setGoal(const OptimGoalInput &goal);
    const OptimGoalInput &goal() const { return m_goal; }
    // Current traces, initial traces, traces before tuning (empty families
    // are not drawn).
    void setTraces(const OptimTraceFamily &traces);
    void setInitialTraces(const OptimTraceFamily &traces);
    void setTracesBeforeTuning(const OptimTraceFamily &traces);
    const OptimTraceFamily &traces() const { return m_traces; }
    // The goal's result this iteration (shown in the header; may be empty).
    void setValueText(const QString &text);

    int xAxisScaling() const { return m_scaling; }
    void setXAxisScaling(int scaling);
    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    // A selected plot draws a highlighted frame and header.
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isStale() const { return m_stale; }
    void setStale(bool stale);
    int selectedLimit() const { return m_selectedLimit; }

    // The automatic range, 5 % widened, held while the new one fits in it
    // (see above); nothing when there is nothing to show. While zoomed, the
    // range computed from the current traces.
    std::optional<GoalPlotRange> plotRange() const;
    // Whether the initial traces are drawn (present and unlike the current).
    bool showsInitialTraces() const;
    // What the legend lists, in its order: "trace", "limit" (when the goal
    // has limits), "initial", "before tuning" (when those are drawn). A
    // narrow plot shows the first ones that fit.
    QStringList legendEntries() const;
    // The result beside the goal's name ("error 0.4 (stale)") as the header
    // at size writes it: legend entries give way to it first, so it is cut
    // only where the name leaves no room for it. At the widget's own size
    // they give way to the widest result since the size, the goal or the
    // legend's entries changed, so the legend holds still.
    QString headerDetailFor(const QSize &size) const;
    // How many of legendEntries() the header has room for at size.
    int legendEntriesShown(const QSize &size) const { return int(headerFit(size).entryWidths.size()); }
    // The goal's limits in words (rich text), as the tooltip shows them.
    QString limitDescription() const { return limitDescription(m_goal); }

    // Whether the plot shows a scalar goal (isScalarGoal), and the unit of
    // its swept axis (empty for a scalar goal: its axis holds the goal's
    // values, written as plain numbers like the value axis of a curve).
    bool isScalar() const { return isScalarGoal(m_goal, m_traces); }
    QString sweptAxisUnits() const;
    // Whether the swept axis is logarithmic: a frequency sweep whose
    // positive points step by one ratio over more than two decades.
    bool sweptAxisIsLog() const;

    // The whole plot drawn afresh at size.
    QPixmap renderPixmap(const QSize &size) const;
    // The plot as the widget shows it at its size: the kept background
    // layer (axes, labels, limit tints, initial and before-tuning traces)
    // with the current traces, the limit lines and the result drawn over
    // it; the same pixels as renderPixmap.
    const QPixmap &shownPixmap() const;
    // How often the background was drawn (kept as a layer or not).
    int backgroundRenderCount() const { return m_backgroundRenderCount; }
    QRect plotRect() const { return plotRectFor(size()); }
    QRect plotRectFor(const QSize &size) const;
    // The caption of the value axis at the widget's size: the goal's
    // expression, or empty where the plot is too small for it.
    QString valueAxisCaption() const;
    // The caption of the swept axis at the widget's size (for a scalar goal
    // its expression), shortened to at most a third of the width.
    QString sweptAxisCaption() const;
    QString toolTipTextAt(const QPoint &pos) const;
    int renderCount() const { return m_renderCount; }

    // The range drawn: the one the user zoomed or panned to, else the
    // automatic one (plotRange, a flat swept range opened); nothing when
    // there is nothing to show.
    std::optional<GoalPlotRange> shownRange() const;
    bool isZoomed() const { return m_zoom.has_value(); }
    // The swept variable's and the response's values at a widget position
    // inside the plot.
    std::optional<QPointF> valueAt(const QPointF &pos) const;
    // Scales the shown range by the factors (below 1 zooms in) so that the
    // values under pos stay there; a range too narrow or too wide to draw
    // is refused.
    void zoomAt(const QPointF &pos, double xFactor, double yFactor);
    void resetZoom();
    // The context menu ("Copy Image", "Save Image...", "Reset Zoom"), made
    // on first use and refreshed before each pop-up.
    QMenu *imageMenu();

    QSize sizeHint() const override { return QSize(260, 170); }
    QSize minimumSizeHint() const override { return QSize(120, 90); }

    // ---- Rules --------------------------------------------------------
    // A scalar goal: the goal has no independent variable, its traces name
    // none, and no trace holds more than one value. Its values arrive as
    // one trace per value with one point whose ordinate is the value; the
    // abscissa means nothing (0 by convention, and may be missing).
    static bool isScalarGoal(const OptimGoalInput &goal, const OptimTraceFamily &traces);
    // The finite values of a scalar goal's traces, one per trace that has
    // one; nothing when the goal is not scalar.
    static std::optional<std::vector<double>> scalarValues(const OptimGoalInput &goal, const OptimTraceFamily &traces);
    // The unit of the goal's independent variable k: the one the goal
    // states, else the one its name implies.
    static QString indepVarUnits(const OptimGoalInput &goal, int k);
    // The condition of one limit: "response &gt; 1", "1 &lt; response &lt; 2",
    // "response &lt; 1 OR  response &gt; 2", ... (blanks not yet replaced).
    static QString limitConditionText(const OptimGoalLimitInput &limit);
    // All limits of a goal: the goal's name in bold, then per limit a line
    // "<br>    <b>name:</b> condition, lower &lt; variable &lt; upper,
    // Weight = w", every blank replaced by "&nbsp;".
    static QString limitDescription(const OptimGoalInput &goal);
    // Extent of the current traces between xLo and xHi (non-finite points
    // skipped; a line that crosses xLo or xHi counts where it crosses).
    static std::optional<GoalPlotRange> traceExtent(const OptimTraceFamily &traces,
                                                    double xLo = -std::numeric_limits<double>::infinity(),
                                                    double xHi = std::numeric_limits<double>::infinity());
    // Extent of the limit lines: their values vertically, their ranges of
    // the swept variable horizontally; an open end reaches to the traces'
    // extent when there is one.
    static std::optional<GoalPlotRange> limitExtent(const OptimGoalInput &goal, const OptimTraceFamily &traces);
    // The same with the traces' whole extent already known.
    static std::optional<GoalPlotRange> limitExtent(const OptimGoalInput &goal, const OptimTraceFamily &traces,
                                                    const std::optional<GoalPlotRange> &traceExtent);
    // The horizontal span of limit limitIndex: lower and upper bound of its
    // range of the swept variable (-inf / +inf when open).
    static std::pair<double, double> limitXSpan(const OptimGoalInput &goal, int limitIndex,
                                                const OptimTraceFamily &traces);

public Q_SLOTS:
    void setSelectedLimit(int index);

Q_SIGNALS:
    void clicked();
    // "Save Image...": emitted from the event loop, after the menu closed.
    void saveImageRequested(QWidget *graph);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Where everything goes at one size: header and plot rectangles, the
    // range shown, the value ticks and the swept variable (in the .cpp).
    struct Layout;

    // What the background layer shows besides the setters' state (which
    // invalidateBackground covers): everything that follows the current
    // traces and result (the legend gives way to a wider result).
    struct BackgroundKey
    {
        QSize size;
        qreal dpr = 0;
        std::optional<GoalPlotRange> range;
        bool noTraces = true;
        bool showsInitial = false;
        QString sweptName;
        bool xLog = false;
        int nameWidth = 0;
        size_t legendEntries = 0;
        bool operator==(const BackgroundKey &) const = default;
    };

    void invalidate();
    // Also the background layer: the goal, the initial or before-tuning
    // traces, the range the user set or how the plot looks changed.
    void invalidateBackground();
    // The automatic range for the current traces, without holding.
    std::optional<GoalPlotRange> computedPlotRange() const;
    BackgroundKey backgroundKey(const QSize &size, const Layout &layout) const;
    Layout layoutFor(const QSize &size) const;
    void drawGraph(QPainter &painter, const QSize &size) const;
    // Everything under the current traces (in the order drawGraph draws
    // it), then the rest over it.
    void drawBackground(QPainter &painter, const QSize &size, const Layout &layout) const;
    void drawForeground(QPainter &painter, const QSize &size, const Layout &layout) const;
    // The goal's name and the legend (legend true), or the result and
    // "stale" between them (legend false).
    void drawHeader(QPainter &painter, const QSize &size, const Layout &layout, bool legend) const;
    // The header's parts at size: where the result starts, its full text
    // and the widths of the legend entries that fit beside it.
    struct HeaderFit
    {
        int x = 0;
        int right = 0;
        int nameWidth = 0; // the goal's name elided to this
        QString detail;
        std::vector<int> entryWidths;
    };
    HeaderFit headerFit(const QSize &size) const;
    // The result and "stale" as the header writes them, and the room that
    // takes (0 without any).
    QString headerDetail() const;
    int headerDetailWidth(const QString &detail) const;
    void drawSweptAxis(QPainter &painter, const QSize &size, const Layout &layout) const;
    void drawValueCaption(QPainter &painter, const Layout &layout) const;
    void drawLimits(QPainter &painter, const Layout &layout, bool lines) const;
    // The traces before tuning and the initial ones (current false), or
    // the current ones.
    void drawTraces(QPainter &painter, const Layout &layout, bool current) const;
    void drawFrame(QPainter &painter, const QSize &size, const Layout &layout, bool plot) const;
    // A scalar goal: the limits across the plot (lines as drawLimits), and
    // the markers of its values (current as drawTraces).
    void drawScalarLimits(QPainter &painter, const Layout &layout, bool lines) const;
    void drawScalarValues(QPainter &painter, const Layout &layout, bool current) const;
    // The automatic range of a scalar goal: its values and limit values
    // along x, widened by 10 % on each side; y a unit span.
    std::optional<GoalPlotRange> scalarPlotRange() const;
    // traceExtent of the current traces, worked out once per set of traces
    // and bounds: the range is asked for on every layout and paint, and a
    // large family has many thousands of points.
    std::optional<GoalPlotRange> currentTraceExtent(double xLo = -std::numeric_limits<double>::infinity(),
                                                    double xHi = std::numeric_limits<double>::infinity()) const;
    bool limitApplies(int limitIndex) const;
    // Shifts the user's range so that value lies under pos.
    void pinValue(const QPointF &value, const QPointF &pos);

    OptimGoalInput m_goal;
    OptimTraceFamily m_traces;
    // The extents currently known of m_traces, by their bounds; emptied
    // whenever the traces change.
    struct KnownExtent
    {
        double xLo;
        double xHi;
        std::optional<GoalPlotRange> extent;
    };
    mutable std::vector<KnownExtent> m_knownExtents;
    OptimTraceFamily m_initialTraces;
    OptimTraceFamily m_beforeTuning;
    QString m_valueText;
    int m_scaling = FitToTraceAndLimitLines;
    QColor m_color = QColor(0x1f, 0x77, 0xb4);
    bool m_selected = false;
    bool m_stale = false;
    int m_selectedLimit = -1;
    mutable QPixmap m_cache;
    mutable bool m_cacheValid = false;
    mutable int m_renderCount = 0;
    mutable QPixmap m_background;
    mutable BackgroundKey m_backgroundKey;
    mutable bool m_backgroundValid = false;
    // The layer before the last new one, while nothing invalidated it: a
    // background that comes back (the initial traces shown again after a
    // result that matched them) is taken from here instead of drawn again.
    mutable QPixmap m_previousBackground;
    mutable BackgroundKey m_previousKey;
    mutable int m_backgroundRenderCount = 0;
    std::optional<GoalPlotRange> m_zoom;
    // The automatic range last shown, kept while new ones fit in it.
    mutable GoalPlotRangeHold m_heldRange;
    // The room the header keeps for the result at the widget's size (see
    // headerFit): the widest result since the size or the legend's entries
    // changed; dropped with a new goal or staleness.
    struct HeldDetail
    {
        QSize size;
        QStringList entries;
        int width = 0;
    };
    mutable HeldDetail m_heldDetail;
    // A left-button drag: where it began, the values there, and whether it
    // moved far enough to pan.
    QPoint m_pressPos;
    std::optional<QPointF> m_grabbed;
    bool m_panning = false;
    QMenu *m_imageMenu = nullptr;
};
