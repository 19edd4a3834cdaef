#pragma once

// Painting shared by the history graphs and the goal plots: the small font
// of labels and legends, the value-axis grid with its labels, vertical grid
// lines, the plot frame and the message shown in an empty plot.

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPalette>
#include <QRect>
#include <QString>

#include <vector>

class QPainter;

namespace GraphAxes {

// The font of tick labels, legends and captions: the widget's font at 85 %
// (at least 6.5 pt, or 8 px for a font sized in pixels).
QFont labelFont(const QFont &base);

// The colour of axis titles and captions ("error 0", the swept variable's
// name): the text colour mixed 30 % toward the plot's background, so they
// read as secondary yet keep a contrast of well over 4.5:1 (stale graphs
// keep the disabled text colour).
QColor captionColor(const QPalette &palette, bool stale = false);

// One value-axis tick: its pixel row (not yet rounded) and its label.
struct ValueTick
{
    double y = 0;
    QString text;
};

// The widest of the labels in fm.
int labelWidth(const QFontMetrics &fm, const std::vector<ValueTick> &ticks);
// The same from the cache of label widths (textWidth below) for fm's font.
int labelWidth(const QFontMetrics &fm, const QFont &font, const std::vector<ValueTick> &ticks);

// Axis labels, tick numbers and legends repeat from one redraw to the next
// (a graph is redrawn for every iteration), so their shaping is kept: the
// width fm.horizontalAdvance(text) gives, and the text laid out once for
// drawing. Both live in a cache per font that forgets everything when it
// grows past a few thousand texts.
int textWidth(const QFontMetrics &fm, const QFont &font, const QString &text);
// painter.drawText(rect, flags, text) for one line of plain text in the
// painter's font, drawn from the cached layout (a text that does not fit
// rect, or flags beyond the alignment, take drawText).
void drawLabel(QPainter &painter, const QRect &rect, int flags, const QString &text);

// A horizontal grid line across the plot at each tick, and (with labels) its
// label right-aligned in the margin left of the plot, kept inside the height.
void drawValueTicks(QPainter &painter, const QFontMetrics &fm, const QRect &plot, int height,
                    const std::vector<ValueTick> &ticks, const QColor &gridColor, const QColor &textColor,
                    bool labels = true);
// A vertical grid line through the plot at pixel column x.
void drawVerticalGridLine(QPainter &painter, const QRect &plot, double x);
// The plot's frame, on the centres of its border pixels.
void drawFrame(QPainter &painter, const QRect &plot, const QColor &color);
// A line of text in the middle of the plot ("No data", "No trace yet").
void drawPlotMessage(QPainter &painter, const QRect &plot, const QColor &color, const QString &text);

} // namespace GraphAxes
