#pragma once

#include <QByteArray>

class QImage;

// Writes images as PNG files quickly: every row unfiltered, compressed by matching whole runs of
// pixels (PixelDeflate). Qt's writer tries every row filter on every row and searches every match to
// save a part of the file, which for a batch of folder icons is most of the time spent on them; the
// pixels read back are the same. libdeflate's fastest level makes files a sixth to a quarter smaller
// in two to four times the time, which Sync All of a few hundred groups shows as a second more.
class PngEncoder {
public:
    // The PNG file of `image`. Images this writer does not cover (indexed, grey, deep, with a colour
    // space, text or an offset of their own) go through Qt's writer, so nothing is ever dropped.
    static QByteArray encode(const QImage &image);
};
