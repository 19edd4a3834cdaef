#pragma once

// A minimal GIF89a writer for the helmdeck's small animations (Qt reads GIF
// but cannot write it). Every frame gets its own colour table; pixels whose
// alpha is below one half become transparent, the others are blended over a
// matte colour, because GIF knows only fully transparent pixels.

#include <QByteArray>
#include <QImage>
#include <QList>

struct GifFrame
{
    QImage image; // any format; converted to ARGB32
    int delayMs = 100;
};

// The whole file: header, looping extension, one image per frame (disposal
// "restore to background", so frames never pile up), trailer. All frames must
// have the size of the first.
QByteArray encodeGif(const QList<GifFrame> &frames, QRgb matte);

// The colours encodeGif puts into the file for one frame, as an ARGB32 image
// (transparent pixels are 0). The tool compares it with what Qt reads back.
QImage gifFlattenedFrame(const QImage &frame, QRgb matte);
