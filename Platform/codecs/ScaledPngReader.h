#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QSize>

#include <optional>

// PNG files of every kind (grey, grey with alpha, RGB, RGBA and palette, 1 to 16 bits a sample,
// interlaced or not) read on libpng a row at a time and scaled down as the rows arrive: what it
// holds is a few times the picture asked for, whatever size the file names. Qt's reader scales as
// it reads only 8-bit RGB, RGBA and grey with alpha that are not interlaced, and reads every other
// kind whole first: a grey or palette file of a few kilobytes that names 5000 by 5000 pixels would
// take it a hundred megabytes or more.
namespace ScaledPngReader {

// What the header of a PNG file says, when the bytes start like one and hold a header.
struct Header {
    QSize size;
    int bitDepth = 0;
    int colourType = 0;
    bool interlaced = false;
};
std::optional<Header> header(QByteArrayView bytes);

// Whether Qt's reader scales a file of this kind while it reads it, so that it never holds the
// whole picture.
bool qtScalesWhileReading(const Header &header);

// The picture in `bytes` as premultiplied ARGB32 of `size` (at most the file's own in each
// direction), every pixel the average of the file's pixels it covers; nothing when the file is
// malformed, names more than `pixelLimit` pixels, or a row longer than this reader takes.
std::optional<QImage> read(QByteArrayView bytes, const QSize &size, qint64 pixelLimit);

} // namespace ScaledPngReader
