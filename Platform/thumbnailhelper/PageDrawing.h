#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// What Qt draws of a document itself: vector images, pictures it reads, and the first page of rich
// and plain text. These run in the thumbnail helper process only: a hostile page can take Qt's text
// layout minutes or overflow its stack, and only a process can be ended at a deadline.
namespace PageDrawing {

// Whether Qt draws files of the type of the file at `path` (judged by name and contents).
bool drawsType(const QString &path);

// Whether the file is a vector image or picture too large to be read at all (by Qt or anything
// else): its bytes or the pixels its header names are beyond what a thumbnail is made from.
bool refusesForSize(const QString &path);

// A picture of the file that fits in `pixelSize`, or a null image.
QImage draw(const QString &path, const QSize &pixelSize);

// A picture file read to fit in `pixelSize` (never larger), or a null image; pictures whose header
// names an absurd pixel count are refused before decoding.
QImage readPicture(const QString &path, const QSize &pixelSize);

// Of plain text, no more than shows on the first page: at most `maximumLines` lines of at most
// `maximumLineLength` characters each.
QString firstPageOfText(const QString &text);

inline constexpr int maximumLines = 80;
inline constexpr int maximumLineLength = 240;
// What is read of a file at most: a first page needs little of it.
inline constexpr qint64 textReadLimit = 64 * 1024;
inline constexpr qint64 markupReadLimit = 256 * 1024;

} // namespace PageDrawing
