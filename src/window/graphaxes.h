#pragma once

// Painting shared by the history graphs and the goal plots: the small font
// of labels and legends, the value-axis grid with its labels, vertical grid
// lines, the plot frame and the message shown in an empty plot.

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>

#include <vector>

class QPainter;

namespace GraphAxes {

// The font of tick labels, legends and captions: the widget's font at 85 %
// (at least 6.5 pt, or 8 px for a font sized in pixels).
QFont labelFont(const QFont &base);

// One value-axis tick: its pixel row (not yet rounded) and its label.
struct ValueTick
{
    double y = 0;
    QString text;
};

// The widest of the labels in fm.
int labelWidth(const QFontMetrics &fm, const std::vector<ValueTick> &ticks);

// A horizontal grid line across the plot at each tick, and its label
// right-aligned in the margin left of the plot, kept inside the height.
void drawValueTicks(QPainter &painter, const QFontMetrics &fm, const QRect &plot, int height,
                    const std::vector<ValueTick> &ticks, const QColor &gridColor, const QColor &textColor);
// A vertical grid line through the plot at pixel column x.
void drawVerticalGridLine(QPainter &painter, const QRect &plot, double x);
// The plot's frame, on the centres of its border pixels.
void drawFrame(QPainter &painter, const QRect &plot, const QColor &color);
// A line of text in the middle of the plot ("No data", "No trace yet").
void drawPlotMessage(QPainter &painter, const QRect &plot, const QColor &color, const QString &text);

} // namespace GraphAxes
