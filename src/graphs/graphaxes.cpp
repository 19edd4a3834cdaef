#include "graphaxes.h"

#include <QHash>
#include <QPainter>
#include <QStaticText>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace GraphAxes {

namespace {

struct CachedLabel
{
    QStaticText text;
    bool prepared = false;
    int width = -1;
    // The line as drawText(rect, flags, text) lays it out: its natural
    // width in 1/64 pixels and its height; 0 when drawText must be used.
    double lineWidth = 0;
    double lineHeight = 0;
};

struct FontCache
{
    QFont font;
    QHash<QString, CachedLabel> labels;
};

constexpr qsizetype kMaxLabels = 4096;
constexpr size_t kMaxFonts = 8;

CachedLabel &cachedLabel(const QFont &font, const QString &text)
{
    // Graphs use one or two label fonts; the most recent sits in front.
    // The cache holds only what a font measures for a text, the same for
    // every window that asks, so windows share it; painting happens on the
    // GUI thread, and thread_local keeps any other thread to a table of its own.
    thread_local std::vector<FontCache> caches;
    auto it = std::find_if(caches.begin(), caches.end(), [&](const FontCache &c) { return c.font == font; });
    if (it == caches.end()) {
        if (caches.size() >= kMaxFonts)
            caches.pop_back();
        caches.insert(caches.begin(), FontCache{font, {}});
        it = caches.begin();
    } else if (it != caches.begin()) {
        std::rotate(caches.begin(), it, it + 1);
        it = caches.begin();
    }
    if (it->labels.size() >= kMaxLabels && !it->labels.contains(text))
        it->labels.clear();
    return it->labels[text];
}

// Whether a grid line may be filled as a one-pixel rectangle. Qt's raster
// engine draws a line of a translucent colour one pixel span at a time, and
// blends more than about a hundred spans on its thread pool: for a grid line
// across a wide plot that is a hand-over to other threads and a wait, every
// line of every drawing. A rectangle one pixel high is one span per row.
// Both light the same pixels (a one-pixel pen at the pixel's centre, from
// the first pixel to the last) where nothing is antialiased and the device's
// pixels are the painter's, with a plain solid pen one pixel wide (or the
// cosmetic 0) whose cap draws the last pixel, at a coordinate an int holds.
bool fillsGridLines(const QPainter &painter, double at)
{
    const QTransform t = painter.deviceTransform();
    const QPen pen = painter.pen();
    return !painter.testRenderHint(QPainter::Antialiasing) && t.type() <= QTransform::TxTranslate
        && t.dx() == std::round(t.dx()) && t.dy() == std::round(t.dy()) && pen.style() == Qt::SolidLine
        && (pen.widthF() == 0 || pen.widthF() == 1) && pen.capStyle() != Qt::FlatCap
        && pen.brush().style() == Qt::SolidPattern && std::abs(at) < 1e9;
}

} // namespace

int textWidth(const QFontMetrics &fm, const QFont &font, const QString &text)
{
    CachedLabel &label = cachedLabel(font, text);
    if (label.width < 0)
        label.width = fm.horizontalAdvance(text);
    return label.width;
}

void drawLabel(QPainter &painter, const QRect &rect, int flags, const QString &text)
{
    constexpr int alignment = Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask;
    if ((flags & ~alignment) != 0 || text.contains(QLatin1Char('\n'))) {
        painter.drawText(rect, flags, text);
        return;
    }
    const QFont &font = painter.font();
    CachedLabel &label = cachedLabel(font, text);
    if (!label.prepared) {
        label.prepared = true;
        // A font with leading places a static text's line differently from
        // drawText; such fonts keep drawText.
        if (QFontMetricsF(font).leading() <= 0) {
            QTextLayout layout(text, font);
            QTextOption option;
            option.setWrapMode(QTextOption::ManualWrap);
            layout.setTextOption(option);
            layout.beginLayout();
            QTextLine line = layout.createLine();
            if (line.isValid()) {
                line.setLineWidth(1e6);
                label.lineWidth = line.naturalTextWidth();
                label.lineHeight = line.height();
            }
            layout.endLayout();
            label.text.setTextFormat(Qt::PlainText);
            label.text.setText(text);
            label.text.prepare(QTransform(), font);
        }
    }
    // A text wider than rect is placed by drawText's own rules; keep it.
    if (label.lineHeight <= 0 || label.lineWidth > rect.width()) {
        painter.drawText(rect, flags, text);
        return;
    }
    // The same place as drawText gives the line, and the same clip: to rect
    // when the line's box does not fit in it.
    double x = rect.left();
    if (flags & Qt::AlignRight)
        x += rect.width() - label.lineWidth;
    else if (flags & Qt::AlignHCenter)
        x += (rect.width() - label.lineWidth) / 2;
    double y = rect.top();
    if (flags & Qt::AlignBottom)
        y += rect.height() - label.lineHeight;
    else if (flags & Qt::AlignVCenter)
        y += (rect.height() - label.lineHeight) / 2;
    const bool clip = !QRectF(rect).contains(QRectF(x, y, label.lineWidth, label.lineHeight));
    if (clip) {
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
    }
    painter.drawStaticText(QPointF(x, y), label.text);
    if (clip)
        painter.restore();
}

QFont labelFont(const QFont &base)
{
    QFont f = base;
    if (f.pointSizeF() > 0)
        f.setPointSizeF(std::max(6.5, f.pointSizeF() * 0.85));
    else if (f.pixelSize() > 0)
        f.setPixelSize(std::max(8, int(f.pixelSize() * 0.85)));
    return f;
}

QColor captionColor(const QPalette &palette, bool stale)
{
    if (stale)
        return palette.color(QPalette::Disabled, QPalette::WindowText);
    const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    auto mix = [](int t, int b) { return int(t * 0.7 + b * 0.3 + 0.5); };
    return QColor(mix(text.red(), base.red()), mix(text.green(), base.green()), mix(text.blue(), base.blue()));
}

int labelWidth(const QFontMetrics &fm, const std::vector<ValueTick> &ticks)
{
    int width = 0;
    for (const ValueTick &t : ticks)
        width = std::max(width, fm.horizontalAdvance(t.text));
    return width;
}

int labelWidth(const QFontMetrics &fm, const QFont &font, const std::vector<ValueTick> &ticks)
{
    int width = 0;
    for (const ValueTick &t : ticks)
        width = std::max(width, textWidth(fm, font, t.text));
    return width;
}

void drawValueTicks(QPainter &painter, const QFontMetrics &fm, const QRect &plot, int height,
                    const std::vector<ValueTick> &ticks, const QColor &gridColor, const QColor &textColor, bool labels)
{
    for (const ValueTick &t : ticks) {
        const double y = std::round(t.y);
        painter.setPen(gridColor);
        if (fillsGridLines(painter, y))
            painter.fillRect(QRect(plot.left(), int(y), plot.width(), 1), gridColor);
        else
            painter.drawLine(QPointF(plot.left(), y + 0.5), QPointF(plot.right(), y + 0.5));
        if (!labels)
            continue;
        painter.setPen(textColor);
        const int ty = std::clamp(int(y) - fm.height() / 2, 0, std::max(0, height - fm.height()));
        drawLabel(painter, QRect(0, ty, plot.left() - 4, fm.height()), Qt::AlignRight | Qt::AlignVCenter, t.text);
    }
}

void drawVerticalGridLine(QPainter &painter, const QRect &plot, double x)
{
    const double column = std::round(x);
    if (fillsGridLines(painter, column))
        painter.fillRect(QRect(int(column), plot.top(), 1, plot.height()), painter.pen().color());
    else
        painter.drawLine(QPointF(column + 0.5, plot.top()), QPointF(column + 0.5, plot.bottom()));
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
