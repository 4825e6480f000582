#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

// Application icons and skin layers: picture files that other programs and users write, decoded
// for the program in the thumbnail helper process only, under its limits. A vector picture whose
// drawing never ends, or a picture that decodes to gigabytes, costs a helper, never the program.
namespace IconDrawing {

// How a picture meets the square it is asked for. Within: whole inside it with its proportions
// kept, a vector picture filling it, a bitmap never made larger than its own pixels (an icon).
// Stretch: each side held to the square's on its own, never made larger (a skin layer, which is
// stretched over its canvas when drawn).
enum class Fit { Within, Stretch };

// The most pixels a side of an asked-for square may have, and the largest file read.
inline constexpr int maximumSide = 2048;
inline constexpr qint64 fileSizeLimit = 32 * 1024 * 1024;
// Pictures whose header names more pixels than this are refused before decoding; those of a kind
// Qt decodes whole before scaling them (interlaced PNG, BMP, GIF, icon files) beyond the second.
inline constexpr qint64 pixelLimit = qint64(8192) * 8192;
inline constexpr qint64 wholePixelLimit = qint64(2048) * 2048;

// The picture in `bytes` (any format Qt reads, vector pictures included) for each side in `sides`,
// in that order: fitted or stretched to a square of that many pixels. Empty, with the reason in
// `refusal`, when the bytes give no picture.
QList<QImage> draw(const QByteArray &bytes, const QList<int> &sides, Fit fit, QString *refusal = nullptr);

// The same for a file; nothing is read of one larger than `fileSizeLimit` or that is not a regular
// file.
QList<QImage> drawFile(const QString &path, const QList<int> &sides, Fit fit, QString *refusal = nullptr);

} // namespace IconDrawing
