// Draws the helmdeck's embedded icons and animations with QPainter and
// writes them into the given folder (src/Resources/):
//   status images      optimizationArrow.png finished.png finishedAndPaused.png finishedWithError.png
//   status animations  optimizing.gif paused.gif simulating.gif
//   button icons       play.png pause.png
//   window icon        smoptimz16.png smoptimz24.png smoptimz32.png
// Every GIF is read back with Qt and compared pixel by pixel with what was
// meant to be written; the tool fails when they differ.
//
// Usage: helmdeck-icons OUTPUT_DIR

#include "gifwriter.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor green(0x2e, 0x9d, 0x49);
const QColor greenDark(0x1e, 0x6f, 0x33);
const QColor amber(0xf0, 0xa0, 0x1e);
const QColor amberDark(0xb8, 0x74, 0x0c);
const QColor red(0xd2, 0x3c, 0x3c);
const QColor redDark(0x96, 0x22, 0x22);
const QColor navy(0x1d, 0x2b, 0x45);
const QColor blue(0x2f, 0x6d, 0xb5);
const QColor blueDark(0x1f, 0x4a, 0x80);
const QColor slate(0x3c, 0x4a, 0x5c);
const QColor axisGrey(0x8a, 0x93, 0x9e);
// GIF edges are blended over the usual light window background.
const QRgb matte = qRgb(0xef, 0xef, 0xef);

using Painting = std::function<void(QPainter &)>;

// Paints in a 32 x 32 design grid scaled to the image size.
QImage render(int size, const Painting &paint)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    paint(p);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

void badge(QPainter &p, const QPointF &centre, qreal radius, const QColor &fill, const QColor &rim)
{
    QRadialGradient gradient(centre - QPointF(radius * 0.35, radius * 0.45), radius * 1.6);
    gradient.setColorAt(0, fill.lighter(125));
    gradient.setColorAt(1, fill);
    p.setPen(QPen(rim, 1.2));
    p.setBrush(gradient);
    p.drawEllipse(centre, radius, radius);
}

void pauseBars(QPainter &p, const QPointF &centre, qreal height, qreal barWidth, qreal gap, const QColor &colour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const qreal top = centre.y() - height / 2;
    p.drawRoundedRect(QRectF(centre.x() - gap / 2 - barWidth, top, barWidth, height), barWidth / 3, barWidth / 3);
    p.drawRoundedRect(QRectF(centre.x() + gap / 2, top, barWidth, height), barWidth / 3, barWidth / 3);
}

void checkMark(QPainter &p, const QPointF &centre, qreal scale)
{
    QPen pen(Qt::white, 3.2 * scale, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(centre + QPointF(-6.5, 0.5) * scale);
    path.lineTo(centre + QPointF(-2, 5) * scale);
    path.lineTo(centre + QPointF(6.5, -5) * scale);
    p.drawPath(path);
}

// The descending trace of a falling error: the optimizer's arrow.
const QList<QPointF> arrowPath{{5, 7}, {11, 15}, {16, 12}, {26, 25}};

qreal pathLength(const QList<QPointF> &points)
{
    qreal length = 0;
    for (qsizetype i = 1; i < points.size(); ++i)
        length += std::hypot(points[i].x() - points[i - 1].x(), points[i].y() - points[i - 1].y());
    return length;
}

// The trace drawn up to the given fraction of its length, with the arrow
// head at its tip.
void optimizationArrow(QPainter &p, qreal fraction)
{
    p.setPen(QPen(axisGrey, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF{{2.5, 2.5}, {2.5, 29.5}, {29.5, 29.5}});

    const qreal wanted = pathLength(arrowPath) * fraction;
    QList<QPointF> drawn{arrowPath.first()};
    qreal done = 0;
    QPointF direction(1, 1);
    for (qsizetype i = 1; i < arrowPath.size(); ++i) {
        const QPointF a = arrowPath[i - 1];
        const QPointF b = arrowPath[i];
        const qreal length = std::hypot(b.x() - a.x(), b.y() - a.y());
        direction = (b - a) / length;
        if (done + length >= wanted) {
            drawn.append(a + direction * (wanted - done));
            break;
        }
        drawn.append(b);
        done += length;
    }
    QPen pen(green, 3.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF(drawn));

    // Head: a filled triangle pointing along the last segment.
    const QPointF tip = drawn.last() + direction * 2.5;
    const QPointF normal(-direction.y(), direction.x());
    const QPointF back = tip - direction * 8;
    QPolygonF head{tip, back + normal * 5, back - normal * 5};
    p.setPen(QPen(greenDark, 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(green);
    p.drawPolygon(head);
}

void pausedBadge(QPainter &p)
{
    badge(p, {16, 16}, 13.5, amber, amberDark);
    pauseBars(p, {16, 16}, 12, 4, 4, Qt::white);
}

void finished(QPainter &p)
{
    badge(p, {16, 16}, 13.5, green, greenDark);
    checkMark(p, {16, 16.5}, 1.0);
}

void finishedAndPaused(QPainter &p)
{
    badge(p, {13.5, 13.5}, 11.5, green, greenDark);
    checkMark(p, {13.5, 14}, 0.85);
    // A small pause badge, ringed in white so it stands off the check badge.
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(24, 24), 7.2, 7.2);
    badge(p, {24, 24}, 6.5, amber, amberDark);
    pauseBars(p, {24, 24}, 6.5, 2.2, 2.2, Qt::white);
}

void finishedWithError(QPainter &p)
{
    badge(p, {16, 16}, 13.5, red, redDark);
    QPen pen(Qt::white, 3.4, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.drawLine(QPointF(11, 11), QPointF(21, 21));
    p.drawLine(QPointF(21, 11), QPointF(11, 21));
}

// A scope screen whose waveform moves by phase (0..1 is one period).
void simulating(QPainter &p, qreal phase)
{
    p.setPen(QPen(blueDark, 1.2));
    p.setBrush(navy);
    p.drawRoundedRect(QRectF(1.5, 4.5, 29, 23), 4, 4);
    p.setPen(QPen(QColor(0x3b, 0x52, 0x78), 0.8));
    for (qreal x : {9.0, 16.0, 23.0})
        p.drawLine(QPointF(x, 6.5), QPointF(x, 25.5));
    p.drawLine(QPointF(3.5, 16), QPointF(28.5, 16));

    QPainterPath wave;
    for (int i = 0; i <= 50; ++i) {
        const qreal x = 4 + 24.0 * i / 50;
        const qreal y = 16 - 7 * std::sin(2 * M_PI * ((x - 4) / 16.0 - phase));
        if (i == 0)
            wave.moveTo(x, y);
        else
            wave.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x5c, 0xe1, 0xff), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(wave);
}

void playButton(QPainter &p)
{
    QPainterPath triangle;
    triangle.moveTo(9, 5);
    triangle.lineTo(27, 16);
    triangle.lineTo(9, 27);
    triangle.closeSubpath();
    p.setPen(QPen(greenDark, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(green);
    p.drawPath(triangle);
}

void pauseButton(QPainter &p)
{
    p.setPen(QPen(slate.darker(130), 1.2));
    p.setBrush(slate);
    p.drawRoundedRect(QRectF(7, 5, 7, 22), 2, 2);
    p.drawRoundedRect(QRectF(18, 5, 7, 22), 2, 2);
}

// The window icon: a ship's helm on a blue tile: a bold rim, spokes that
// reach past it and end in round grips, and a hub.
void helm(QPainter &p, int pixelSize)
{
    QLinearGradient tile(0, 0, 0, 32);
    tile.setColorAt(0, blue.lighter(115));
    tile.setColorAt(1, blueDark);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 6, 6);

    const QPointF centre(16, 16);
    const bool small = pixelSize < 20;
    const int spokes = small ? 4 : 6;
    const qreal rim = small ? 8.5 : 9.0;
    const qreal grip = small ? 13.2 : 13.0;
    const qreal spokeWidth = small ? 2.8 : 2.0;
    for (int i = 0; i < spokes; ++i) {
        const qreal angle = 2 * M_PI * i / spokes - M_PI / 2;
        const QPointF d(std::cos(angle), std::sin(angle));
        p.setPen(QPen(Qt::white, spokeWidth, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(centre, centre + d * grip);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(centre + d * grip, small ? 2.4 : 2.2, small ? 2.4 : 2.2);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, small ? 3.2 : 3.0));
    p.drawEllipse(centre, rim, rim);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, small ? 3.6 : 3.4, small ? 3.6 : 3.4);
}

bool writePng(const QDir &dir, const QString &name, const QImage &image)
{
    if (!image.save(dir.filePath(name), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(dir.filePath(name)));
        return false;
    }
    return true;
}

bool writeGif(const QDir &dir, const QString &name, const QList<GifFrame> &frames)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(encodeGif(frames, matte)) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    file.close();

    QImageReader reader(path);
    for (qsizetype i = 0; i < frames.size(); ++i) {
        const QImage read = reader.read().convertToFormat(QImage::Format_ARGB32);
        const QImage expected = gifFlattenedFrame(frames[i].image, matte);
        bool same = !read.isNull() && read.size() == expected.size();
        for (int y = 0; same && y < read.height(); ++y) {
            for (int x = 0; same && x < read.width(); ++x) {
                const QRgb a = read.pixel(x, y);
                const QRgb b = expected.pixel(x, y);
                same = qAlpha(a) == 0 ? b == 0 : a == (b | 0xff000000u);
            }
        }
        if (!same) {
            std::fprintf(stderr, "%s: frame %lld does not read back as written\n", qPrintable(path), qlonglong(i));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: helmdeck-icons OUTPUT_DIR\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    bool ok = true;
    ok &= writePng(dir, "optimizationArrow.png", render(32, [](QPainter &p) { optimizationArrow(p, 1.0); }));
    ok &= writePng(dir, "finished.png", render(32, finished));
    ok &= writePng(dir, "finishedAndPaused.png", render(32, finishedAndPaused));
    ok &= writePng(dir, "finishedWithError.png", render(32, finishedWithError));
    ok &= writePng(dir, "play.png", render(32, playButton));
    ok &= writePng(dir, "pause.png", render(32, pauseButton));
    for (int size : {16, 24, 32})
        ok &= writePng(dir, QStringLiteral("smoptimz%1.png").arg(size), render(size, [size](QPainter &p) { helm(p, size); }));

    // The arrow grows along the trace, then rests a moment before it starts again.
    QList<GifFrame> optimizing;
    const int growFrames = 12;
    for (int i = 0; i < growFrames; ++i) {
        const qreal fraction = 0.3 + 0.7 * i / (growFrames - 1);
        optimizing.append({render(32, [fraction](QPainter &p) { optimizationArrow(p, fraction); }), 90});
    }
    optimizing.last().delayMs = 600;
    ok &= writeGif(dir, "optimizing.gif", optimizing);

    ok &= writeGif(dir, "paused.gif", {{render(32, pausedBadge), 1000}});

    QList<GifFrame> simulatingFrames;
    const int waveFrames = 16;
    for (int i = 0; i < waveFrames; ++i)
        simulatingFrames.append({render(32, [i](QPainter &p) { simulating(p, qreal(i) / waveFrames); }), 70});
    ok &= writeGif(dir, "simulating.gif", simulatingFrames);

    return ok ? 0 : 1;
}
