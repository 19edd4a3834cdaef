#include "graphaxes.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace GraphAxes {

QFont labelFont(const QFont &base)
{
    QFont f = base;
    if (f.pointSizeF() > 0)
        f.setPointSizeF(std::max(6.5, f.pointSizeF() * 0.85));
    else if (f.pixelSize() > 0)
        f.setPixelSize(std::max(8, int(f.pixelSize() * 0.85)));
    return f;
}

int labelWidth(const QFontMetrics &fm, const std::vector<ValueTick> &ticks)
{
    int width = 0;
    for (const ValueTick &t : ticks)
        width = std::max(width, fm.horizontalAdvance(t.text));
    return width;
}

void drawValueTicks(QPainter &painter, const QFontMetrics &fm, const QRect &plot, int height,
                    const std::vector<ValueTick> &ticks, const QColor &gridColor, const QColor &textColor)
{
    for (const ValueTick &t : ticks) {
        const double y = std::round(t.y);
        painter.setPen(gridColor);
        painter.drawLine(QPointF(plot.left(), y + 0.5), QPointF(plot.right(), y + 0.5));
        painter.setPen(textColor);
        const int ty = std::clamp(int(y) - fm.height() / 2, 0, std::max(0, height - fm.height()));
        painter.drawText(QRect(0, ty, plot.left() - 4, fm.height()), Qt::AlignRight | Qt::AlignVCenter, t.text);
    }
}

void drawVerticalGridLine(QPainter &painter, const QRect &plot, double x)
{
    const double column = std::round(x) + 0.5;
    painter.drawLine(QPointF(column, plot.top()), QPointF(column, plot.bottom()));
}

void drawFrame(QPainter &painter, const QRect &plot, const QColor &color)
{
    painter.setPen(color);
    painter.drawRect(QRectF(plot).adjusted(0.5, 0.5, -0.5, -0.5));
}

void drawPlotMessage(QPainter &painter, const QRect &plot, const QColor &color, const QString &text)
{
    painter.setPen(color);
    painter.drawText(plot, Qt::AlignCenter, text);
}

} // namespace GraphAxes
