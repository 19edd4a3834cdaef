#include "gifwriter.h"

#include <QHash>

#include <algorithm>
#include <vector>

namespace {

void put8(QByteArray &out, int v)
{
    out.append(char(v & 0xff));
}

void put16(QByteArray &out, int v)
{
    put8(out, v);
    put8(out, v >> 8);
}

QRgb blendOverMatte(QRgb p, QRgb matte)
{
    const int a = qAlpha(p);
    if (a < 128)
        return 0;
    auto mix = [a](int c, int m) { return (c * a + m * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(p), qRed(matte)), mix(qGreen(p), qGreen(matte)), mix(qBlue(p), qBlue(matte)));
}

// Drops low bits of every channel (rounding to the middle of the bucket)
// until the frame has at most 255 colours; the 256th table entry is the
// transparent one.
QImage reduceColours(QImage image)
{
    for (int shift = 0; shift < 8; ++shift) {
        QImage reduced = image;
        if (shift > 0) {
            auto quantize = [shift](int c) { return std::min(255, ((c >> shift) << shift) + ((1 << shift) >> 1)); };
            for (int y = 0; y < reduced.height(); ++y) {
                auto *line = reinterpret_cast<QRgb *>(reduced.scanLine(y));
                for (int x = 0; x < reduced.width(); ++x) {
                    if (line[x] != 0)
                        line[x] = qRgb(quantize(qRed(line[x])), quantize(qGreen(line[x])), quantize(qBlue(line[x])));
                }
            }
        }
        QHash<QRgb, int> colours;
        for (int y = 0; y < reduced.height() && colours.size() <= 255; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(reduced.constScanLine(y));
            for (int x = 0; x < reduced.width(); ++x) {
                if (line[x] != 0)
                    colours.insert(line[x], 0);
            }
        }
        if (colours.size() <= 255)
            return reduced;
    }
    return image;
}

class BitWriter
{
public:
    void write(int code, int bits)
    {
        m_accumulator |= quint32(code) << m_bitCount;
        m_bitCount += bits;
        while (m_bitCount >= 8) {
            m_bytes.append(char(m_accumulator & 0xff));
            m_accumulator >>= 8;
            m_bitCount -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_bitCount > 0)
            m_bytes.append(char(m_accumulator & 0xff));
        m_accumulator = 0;
        m_bitCount = 0;
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    quint32 m_accumulator = 0;
    int m_bitCount = 0;
};

// Variable-length LZW as GIF defines it: codes grow from minCodeSize + 1 to
// 12 bits; the table restarts with a clear code when it is full.
QByteArray lzwEncode(const QByteArray &indices, int minCodeSize)
{
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    std::vector<qint16> next(4096 * 256, 0); // (prefix code, pixel) -> code, 0 = none
    BitWriter bits;
    int codeSize = minCodeSize + 1;
    int lastCode = endCode; // the highest code in the table
    bits.write(clearCode, codeSize);
    int current = -1;
    for (char c : indices) {
        const int pixel = uchar(c);
        if (current < 0) {
            current = pixel;
            continue;
        }
        const int found = next[size_t(current) * 256 + size_t(pixel)];
        if (found != 0) {
            current = found;
            continue;
        }
        bits.write(current, codeSize);
        ++lastCode;
        next[size_t(current) * 256 + size_t(pixel)] = qint16(lastCode);
        if (lastCode >= (1 << codeSize) && codeSize < 12)
            ++codeSize;
        if (lastCode == 4095) {
            bits.write(clearCode, codeSize);
            std::fill(next.begin(), next.end(), 0);
            codeSize = minCodeSize + 1;
            lastCode = endCode;
        }
        current = pixel;
    }
    if (current >= 0) {
        bits.write(current, codeSize);
        // The decoder adds a table entry after this code (unless it is the
        // first since a clear) and may widen its codes before reading the end.
        if (lastCode > endCode && lastCode + 1 >= (1 << codeSize) && codeSize < 12)
            ++codeSize;
    }
    bits.write(endCode, codeSize);
    return bits.finish();
}

void appendSubBlocks(QByteArray &out, const QByteArray &data)
{
    for (qsizetype pos = 0; pos < data.size(); pos += 255) {
        const qsizetype n = std::min<qsizetype>(255, data.size() - pos);
        put8(out, int(n));
        out.append(data.mid(pos, n));
    }
    put8(out, 0);
}

} // namespace

QImage gifFlattenedFrame(const QImage &frame, QRgb matte)
{
    QImage image = frame.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = blendOverMatte(line[x], matte);
    }
    return reduceColours(image);
}

QByteArray encodeGif(const QList<GifFrame> &frames, QRgb matte)
{
    QByteArray out;
    if (frames.isEmpty())
        return out;
    const int width = frames.first().image.width();
    const int height = frames.first().image.height();

    out.append("GIF89a");
    put16(out, width);
    put16(out, height);
    put8(out, 0); // no global colour table
    put8(out, 0); // background colour index
    put8(out, 0); // pixel aspect ratio

    // Loop for ever.
    put8(out, 0x21);
    put8(out, 0xff);
    put8(out, 11);
    out.append("NETSCAPE2.0");
    put8(out, 3);
    put8(out, 1);
    put16(out, 0);
    put8(out, 0);

    for (const GifFrame &frame : frames) {
        const QImage image = gifFlattenedFrame(frame.image.scaled(width, height), matte);

        QList<QRgb> palette{0}; // entry 0 is transparent
        QHash<QRgb, int> indexOf;
        QByteArray indices;
        indices.reserve(width * height);
        for (int y = 0; y < height; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                int index = 0;
                if (line[x] != 0) {
                    auto it = indexOf.constFind(line[x]);
                    if (it == indexOf.constEnd()) {
                        index = int(palette.size());
                        palette.append(line[x]);
                        indexOf.insert(line[x], index);
                    } else {
                        index = it.value();
                    }
                }
                indices.append(char(index));
            }
        }
        int tableBits = 1;
        while ((1 << tableBits) < palette.size())
            ++tableBits;

        // Graphic control: restore to background, transparent index 0.
        put8(out, 0x21);
        put8(out, 0xf9);
        put8(out, 4);
        put8(out, (2 << 2) | 1);
        put16(out, std::max(2, (frame.delayMs + 5) / 10));
        put8(out, 0);
        put8(out, 0);

        put8(out, 0x2c);
        put16(out, 0);
        put16(out, 0);
        put16(out, width);
        put16(out, height);
        put8(out, 0x80 | (tableBits - 1)); // local colour table
        for (int i = 0; i < (1 << tableBits); ++i) {
            const QRgb c = i < palette.size() ? palette.at(i) : 0;
            put8(out, qRed(c));
            put8(out, qGreen(c));
            put8(out, qBlue(c));
        }
        const int minCodeSize = std::max(2, tableBits);
        put8(out, minCodeSize);
        appendSubBlocks(out, lzwEncode(indices, minCodeSize));
    }
    put8(out, 0x3b);
    return out;
}
