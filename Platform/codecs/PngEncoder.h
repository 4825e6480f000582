#pragma once

#include <QByteArray>

class QImage;

// Writes images as PNG files quickly: every row unfiltered, compressed by libdeflate in one call.
// Qt's writer tries every row filter on every row and streams through zlib, which for a batch of
// folder icons is most of the time spent on them; the pixels read back are the same.
class PngEncoder {
public:
    // The PNG file of `image`. Images this writer does not cover (indexed, grey, deep, with a colour
    // space, text or an offset of their own) go through Qt's writer, so nothing is ever dropped.
    static QByteArray encode(const QImage &image);
};
