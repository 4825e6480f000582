#pragma once

#include <QByteArray>
#include <QImage>

// How the thumbnail helper hands a finished picture to the program: "KPIX", the width and height
// as 32-bit little-endian numbers, then the rows of premultiplied 32-bit ARGB pixels, top row
// first, without padding. The program reads nothing of a document but this, so it never runs a
// decoder on what a user put in a group.
namespace PixelTransfer {

inline constexpr int maximumSide = 2048;

// The bytes of the picture (converted to premultiplied ARGB); empty for a null image or one larger
// than `maximumSide` on a side.
QByteArray encode(const QImage &image);

// A helper's answer: the picture's bytes written to the standard output and flushed. False when
// there is no picture to send or the program stopped reading.
bool writeToStandardOutput(const QImage &image);

// The picture, or a null image when the bytes are not exactly one picture of at most
// `maximumSide` pixels on each side.
QImage decode(const QByteArray &bytes);

// Premultiplied colour never exceeds its alpha: a damaged answer is mended, not trusted.
void mendRow(QRgb *row, int width);

// The most bytes a picture can take.
inline constexpr qint64 maximumBytes = 12 + qint64(maximumSide) * maximumSide * 4;

} // namespace PixelTransfer
