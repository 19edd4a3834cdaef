#pragma once

// History graphs: one value per iteration, drawn with QPainter into a cached
// pixmap that the label shows.
//
// A GraphWidget holds one or more series (series 0 always exists). A series
// is either a list of value texts (the model's histories carry texts) or a
// list of doubles. Texts that do not read as a finite number, NaN and
// infinities are "gaps": they are skipped by the vertical auto-scale and by
// the drawing (the line is broken there), never drawn as zero.
//
// What is shown follows the graph record:
//   numPointsShown  how many of the latest iterations to show; 0 shows all
//   useAllData      scale the vertical axis over all points, not only the
//                   shown ones
//   yMinFixed/yMaxFixed, yMin/yMax  the vertical range; a fixed bound is
//                   never recomputed
//   logScale        the value axis over decades; zero and negative values
//                   are gaps there
// Any change of the record, the size, the highlight or the appearance drops
// the cached pixmap; it is redrawn on the next paint only. New points alone
// (nothing else changed: same value range, same iteration axis) are drawn
// into the cached pixmap over the few pixel columns they touch, redrawn
// there exactly as a full redraw draws them.
//
// Speed on long runs: texts are parsed once into a double cache that grows
// with the history (setSeries with a list that extends the previous one
// parses only the new texts); drawing reduces the shown points to the
// minimum and maximum of each pixel column, so a million iterations draw
// as a few hundred short vertical strokes.
//
// Interaction: a right mouse press emits rightMouseClick(globalPosition)
// (the panels pass it on as historyGraphRightMouseClick, which pops up the
// history-graph menu); a left press emits clicked() (rows use it to select
// their variable). Hovering shows a tooltip with the iteration and the value
// under the cursor, for every series, and marks that iteration.
//
// Files: the widget, its settings and events (graphwidget.cpp); the series
// and the range (graphseriesdata.h, graphwidgetrange.cpp); the drawing
// (graphwidgetpainter.cpp); what those share (graphwidgetlayout.h).

#include "graphscale.h"

#include <QColor>
#include <QLabel>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class GraphSeriesData;
class OptimHistoryValues;
class QFontMetrics;
class QPainter;

class GraphWidget : public QLabel
{
    Q_OBJECT

public:
    explicit GraphWidget(QWidget *parent = nullptr);
    ~GraphWidget() override;

    // ---- Series -------------------------------------------------------
    int seriesCount() const;
    // Adds empty series or drops the last ones; at least one remains.
    void setSeriesCount(int count);
    // Value texts, one per iteration. Only texts past the part that is
    // unchanged since the last call are parsed. Unchanged is judged from 40
    // sample texts kept from that call (32 spread over the list, the first
    // among them, and the last 8), compared front to back: the values up to
    // the last sample that still matches are kept. Histories only grow at
    // the end or lose their last entries, so this is exact for them (a
    // dropped and re-recorded iteration is parsed again); a caller that
    // rewrites texts in the middle calls clearSeries() first.
    void setSeries(const QStringList &texts, int series = 0);
    // Values, one per iteration; NaN and infinities are gaps.
    void setSeries(const QList<double> &values, int series = 0);
    // A history's value texts: its numbers while every text is a plain
    // number, else its texts read as setSeries(QStringList) reads them,
    // without building the whole list (only the samples and new texts).
    void setSeries(const OptimHistoryValues &history, int series = 0);
    // Empties every series (the names and colours stay).
    void clearSeries();
    // Legend and tooltip name of a series (empty: no legend entry).
    void setSeriesName(int series, const QString &name);
    QString seriesName(int series) const;
    // Line colour of a series; the default is a dark blue for series 0 and
    // VarColors for the others.
    void setSeriesColor(int series, const QColor &color);
    QColor seriesColor(int series) const;
    // Number of iterations in a series, gaps included.
    int pointCount(int series = 0) const;
    // The value of iteration index (0 = first point) or nothing for a gap
    // or an index out of range.
    std::optional<double> valueAt(int index, int series = 0) const;
    // The value of iteration index as the tooltip writes it: without units
    // the shortest text that reads back to the same double, with units up
    // to 12 significant digits and the engineering suffix; empty for a gap.
    QString valueTextAt(int index, int series = 0) const;

    // ---- Graph record -------------------------------------------------
    int numPointsShown() const { return m_numPointsShown; }
    // allIterations: numPoints is how far the run can go with every
    // iteration shown, not a window of the latest ones; the axis then grows
    // in steps on long runs (GraphScale::IterationAxis).
    void setNumPointsShown(int numPoints, bool allIterations = false);
    bool useAllData() const { return m_useAllData; }
    void setUseAllData(bool useAllData);
    // Fixes the upper bound at value; fixed = false lets the auto-scale set
    // it again.
    void setYMaxFixed(bool fixed, double value = 1.0);
    void setFixedYRange(double yMin, double yMax);
    // The vertical range, auto-scaled over the data as it is now. Without
    // any value to scan, the range stays what it was (0 to 1 at first).
    // On a log scale: from the smallest to the largest positive value (a
    // positive fixed bound kept), 0.1 to 10 without any.
    double yMin() const;
    double yMax() const;
    // Log scale: the value axis runs over decades, with a tick at each
    // power of ten (1, 2 and 5 times it over less than two decades); zero
    // and negative values are gaps like unreadable ones. Tooltips still
    // show the value itself.
    bool logScale() const { return m_logScale; }
    void setLogScale(bool on);

    // ---- Highlight ----------------------------------------------------
    // A highlighted graph fills its background with selectionHighlightColor()
    // (the variables history view marks the selected variable's row so).
    bool isHighlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted);
    static QColor selectionHighlightColor() { return QColor(200, 225, 255); }
    // The marked iteration (the iteration table's selected row), drawn as a
    // solid line over the cached picture; -1 marks none.
    int markedIndex() const { return m_markedIndex; }
    void setMarkedIndex(int index);

    // ---- Appearance ---------------------------------------------------
    // Caption drawn at the top left of the plot (e.g. "Error").
    void setTitle(const QString &title);
    // Number of the first point on the iteration axis (default 0: the
    // first value of a history is the starting point).
    void setFirstIterationNumber(int number);
    // Stale data draws in grey and says so in the tooltip.
    bool isStale() const { return m_stale; }
    void setStale(bool stale);
    // Text shown in place of the plot while there is no point to draw.
    void setEmptyText(const QString &text);
    // Units of the values (e.g. "H", "dB"; empty: plain numbers). Texts
    // such as "10 nH" are read with their engineering suffix in any case;
    // the units only change how axis labels and tooltips write values
    // ("12.5 nH" instead of "1.25e-08").
    void setValueUnits(const QString &units);
    // Writes a value as the axis labels and tooltips do.
    QString formatValue(double value, int significantDigits = 6) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // ---- Drawing and inspection ----------------------------------------
    // Draws the graph as shown at size (what the cached pixmap holds).
    QPixmap renderPixmap(const QSize &size) const;
    // The picture "Copy Image" and "Save Image..." give: the graph at the
    // widget's size without the hover and iteration marks, on the window
    // colour, with the title (or the series names) in a line above it when
    // the graph's own header does not show one.
    QPixmap exportImage() const;
    // The picture a paint shows at the widget's size: the cached pixmap,
    // brought up to date.
    QPixmap cachedPixmap() const;
    // The plot area inside the widget (axes and labels lie outside it).
    QRect plotRect() const { return plotRectFor(size()); }
    QRect plotRectFor(const QSize &size) const;
    // The first index and the count of points the iteration axis shows.
    int firstShownIndex() const;
    int shownCount() const;
    // The point index under a widget position, or -1.
    int indexAt(const QPoint &pos) const;
    // The tooltip shown at a widget position (empty outside the plot).
    QString toolTipTextAt(const QPoint &pos) const;
    // How often the cached pixmap was drawn in full (tests check the caching).
    int renderCount() const { return m_renderCount; }

    // Reads a value text as the graphs do (GraphScale::parseValue; the
    // scale and tick rules live in graphscale.h).
    static std::optional<double> parseValue(const QString &text) { return GraphScale::parseValue(text); }

Q_SIGNALS:
    void rightMouseClick(const QPoint &globalPosition);
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;

    // Drops the cached pixmap and schedules a repaint.
    void invalidate();

private:
    // Where everything goes at one size: plot rectangle, header and label
    // rows, both axes and the value ticks (defined in the .cpp).
    struct Layout;

    void ensureScale() const;
    Layout layoutFor(const QSize &size) const;
    int maxPointCount() const;
    // Draws the graph; with region set only what lies inside it (painter
    // clipped to it), the series from the points near it on. False when no
    // value was drawn.
    bool drawGraph(QPainter &painter, const QSize &size, const Layout &layout, const QRect *region = nullptr) const;
    // Brings the cached pixmap up to date.
    void updateCache() const;
    // Draws the points appended since the cached pixmap was drawn into it;
    // false when anything else changed and a full redraw is needed.
    bool drawAppendedPoints() const;
    void drawIterationAxis(QPainter &painter, const QFontMetrics &fm, const QSize &size, const Layout &layout,
                           bool withLabels = true) const;
    void drawHeader(QPainter &painter, const QFontMetrics &fm, const QSize &size, const Layout &layout) const;
    // Draws every series; false when not one value was drawn.
    // Series points left of fromX (a pixel column) are skipped.
    bool drawSeries(QPainter &painter, const Layout &layout, double fromX = -1e9) const;
    void drawHoverMarks(QPainter &painter) const;
    GraphSeriesData &seriesData(int series);
    const GraphSeriesData *seriesDataOrNull(int series) const;

    std::vector<std::unique_ptr<GraphSeriesData>> m_series;
    int m_numPointsShown = 0;
    bool m_allIterations = false;
    bool m_useAllData = true;
    bool m_yMinFixed = false;
    bool m_yMaxFixed = false;
    // The vertical range of the record; the auto-scale updates the bounds
    // that are not fixed, lazily, when the range is asked for or drawn.
    mutable double m_yMin = 0.0;
    mutable double m_yMax = 1.0;
    // The range shown on a log scale, in decades.
    mutable double m_logLo = -1.0;
    mutable double m_logHi = 1.0;
    mutable bool m_scaleValid = false;
    // The last scan of the values for the auto-scale: its first index, its
    // scale, what it found and how many points of each series it saw (new
    // points alone are scanned next time when nothing else changed).
    struct ValueScan
    {
        bool valid = false;
        bool log = false;
        bool any = false;
        int first = 0;
        double lo = 0;
        double hi = 0;
        std::vector<qsizetype> counts;
    };
    mutable ValueScan m_scan;
    bool m_logScale = false;
    bool m_highlighted = false;
    bool m_stale = false;
    int m_firstIteration = 0;
    QString m_title;
    QString m_emptyText;
    QString m_valueUnits;
    int m_hoverIndex = -1;
    int m_markedIndex = -1;
    mutable QPixmap m_cache;
    mutable bool m_cacheValid = false;
    // Set by new data or a new shown window: the cached pixmap may take
    // the new points only, or keep at least its labels.
    mutable bool m_dataChanged = false;
    // What the cached pixmap shows: its layout, the points of each series
    // and whether any value was drawn.
    mutable std::unique_ptr<Layout> m_cacheLayout;
    mutable std::vector<qsizetype> m_cacheCounts;
    mutable bool m_cacheHasValues = false;
    mutable int m_renderCount = 0;
};
