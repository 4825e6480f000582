#pragma once

#include <QByteArrayView>
#include <QImage>

#include <optional>

// The PNG files nearly every icon is, and the folder pictures the program writes: 8 bits a sample,
// RGB or RGBA (grey and grey with alpha too), not interlaced, read in one pass with a whole-buffer
// inflater in half the time Qt's reader takes, which Sync All of a thousand groups shows as seconds.
// Anything else, and anything broken, is left to Qt's reader: a caller that gets nothing reads the
// bytes as before.
namespace PngReader {

// Whether the bytes start like a PNG file.
bool hasSignature(QByteArrayView bytes);

// The picture in `bytes` as premultiplied ARGB32, pixel for pixel what Qt's reader gives converted
// to that format; nothing when the file is of a kind left to Qt, malformed, or names more than
// `pixelLimit` pixels (or more than Qt's allocation limit lets it decode at four bytes a pixel).
// Garbage costs no more memory than the picture its header names, and no more than its compressed
// data can fill; a caller bounds that picture by `pixelLimit`.
std::optional<QImage> read(QByteArrayView bytes, qint64 pixelLimit);

} // namespace PngReader
