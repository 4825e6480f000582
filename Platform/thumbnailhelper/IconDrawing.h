#pragma once

#include <QByteArray>
#include <QByteArrayView>
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
// Pictures whose header names more pixels than this are refused before decoding. Below it, a
// picture is read whole only when it has at most a few times the pixels drawn; a larger one is
// read by a reader that scales it as it reads (PNG files of every kind; JPEG files that are not
// progressive, up to 64 times that, as their reader holds an eighth of each side), and a larger
// one of any other kind (GIF, BMP, icon files, progressive JPEG, …) is refused: what a helper holds
// is a few squares of what it draws, whatever the file says.
inline constexpr qint64 pixelLimit = qint64(8192) * 8192;

// Whether the bytes are a JPEG file whose frame is progressive, or one without a frame where it
// should be: its reader keeps a coefficient for every pixel of the whole picture, however small it
// is asked for.
bool isProgressiveJpeg(QByteArrayView bytes);

// The picture in `bytes` (any format Qt reads, vector pictures included) for each side in `sides`,
// in that order: fitted or stretched to a square of that many pixels. Empty, with the reason in
// `refusal`, when the bytes give no picture.
QList<QImage> draw(const QByteArray &bytes, const QList<int> &sides, Fit fit, QString *refusal = nullptr);

// The same for a file; nothing is read of one larger than `fileSizeLimit` or that is not a regular
// file.
QList<QImage> drawFile(const QString &path, const QList<int> &sides, Fit fit, QString *refusal = nullptr);

} // namespace IconDrawing
