#pragma once

#include <QByteArray>
#include <QString>

// Property lists that real machines hold or that an attacker could hand the program, made at test
// time rather than checked in (some are large).
namespace HostileFiles {

// A dictionary {"URL": string} whose string or key holds U+0000, in each encoding.
QByteArray nulInAsciiString();
QByteArray nulInUtf16String();
QByteArray nulInAsciiKey();
QByteArray nulInUtf16Key();
QByteArray nulInXmlString();
// `levels` arrays, each holding the next one twice: a few hundred bytes that expand to 2^levels.
QByteArray sharedReferences(int levels);
// An array naming one string of `stringBytes` ASCII letters `references` times: small on disk, large
// once read.
QByteArray sharedLargeString(int stringBytes, int references);
// The same with one data value.
QByteArray sharedLargeData(int dataBytes, int references);
// `depth` arrays each holding the next one.
QByteArray nestedArrays(int depth);
// An array that holds itself.
QByteArray cycle();
// Values the Dock's file and other programs' preferences hold that do not survive a conversion to
// and from the program's own values: dates outside 1933-2069, dates with microseconds before and
// after 2001, 2^64 - 1, a UID, a real that is not a number, keys in an order that is not sorted.
QByteArray awkwardValues();
// A Dock preferences file as real machines hold one: 32 application tiles with bookmark data and
// large GUIDs, spacers, a folder tile without a URL string, nested dictionaries, reals, and the
// awkward values above.
QByteArray realisticDockFile();

// A Dock preferences file in XML with no tiles and a dictionary of `keys` small entries beside
// them, as a Dock of years of use or a hostile program may leave: under the size limit, but a tree
// every rewrite of which takes its time.
QByteArray xmlDockFileOfManyKeys(int keys);

// Web pages and text that Qt's text layout cannot get through: `depth` tables each holding the
// next one in its only cell (each level doubles the layout time; a few thousand overflow a
// thread's stack), and one line of `bytes` bytes of words without a line break.
QByteArray nestedTablesPage(int depth);
QByteArray oneLineText(qint64 bytes);

// A valid PNG of `width` by `height` white pixels at one bit a pixel: small on disk, huge decoded.
QByteArray blankPng(int width, int height);
// A PNG file of 141 bytes whose chunk of `type` ("tEXt", "zTXt") after its header names 768 MB:
// a reader that believes it allocates all that before it finds the file ends.
QByteArray pngWithChunkPastTheEnd(const QByteArray &type);
// An icon file (ICO) whose one picture is the PNG file `png`, which Qt's reader hands to libpng.
QByteArray iconFileHolding(const QByteArray &png);
// A valid PNG of `width` by `height` black pixels at eight bits a sample, grey (`channels` 1) or
// RGBA (4), as small as deflate makes it: 8192 by 8192 grey takes 65 KB.
QByteArray darkPng(int width, int height, int channels);
// A valid PNG of `width` by `height` pixels whose samples are all zero (black, transparent where
// there is alpha, the palette's one black entry) of `colourType` at `bitDepth` bits a sample,
// interlaced when asked: a few kilobytes that name hundreds of megabytes.
QByteArray zeroPng(int width, int height, int colourType, int bitDepth, bool interlaced = false);
// A GIF of `width` by `height` pixels whose one image, over the whole of it, holds no data: a
// reader that decodes it whole allocates the picture all the same.
QByteArray emptyGif(int width, int height);
// Black squares of `side` pixels as BMP (one bit a pixel) and XPM files, which readers decode whole.
QByteArray blackBmp(int side);
QByteArray blackXpm(int side);

// A PDF of a few kilobytes whose one page draws a form `fanOut` times, which draws the next form
// `fanOut` times, and so on `levels` deep: fanOut^levels rectangles in all, which a renderer that
// follows it spends minutes and gigabytes on.
QByteArray nestedFormsPdf(int levels, int fanOut);
// A PDF of a few megabytes whose one page saves the graphics state `depth` times, fills a square
// and restores them all: a reader holds every saved state at once, hundreds of megabytes for two
// million, and gives most of them back only at the end.
QByteArray nestedStatesPdf(int depth);
// A progressive JPEG of a few hundred bytes whose header says `side` by `side` grey pixels:
// decoding it allocates a coefficient buffer of the full size (2 bytes a pixel) however small the
// picture is asked for.
QByteArray progressiveJpegHeader(int side);
// A baseline JPEG of `side` by `side` grey pixels, each the middle grey, in a quarter of a byte for
// every 64 pixels: a reader that scales as it reads holds an eighth of its side at most.
QByteArray greyBaselineJpeg(int side);

// A vector icon of about half a megabyte: `paths` stroked paths of `segments` segments each, every
// one a wide, finely dashed zigzag across the picture, which takes a renderer minutes to draw.
QByteArray strokedPathsSvg(int paths, int segments);
// A vector picture of about a kilobyte without a size of its own: `levels` groups, each using the
// one before it four times, so that finding its size alone walks 4^levels shapes.
QByteArray nestedUseSvg(int levels);
// A gzip-compressed SVG (an .svgz icon) of a black square whose file expands to `expandedBytes` and more.
QByteArray gzippedSvgOf(qint64 expandedBytes);
// Writes at `path` a file that starts with `head` and is `bytes` long in all, the rest a hole the
// file system stores nothing for: gigabytes on paper, nothing on disk. False when it cannot.
bool writeSparseFile(const QString &path, const QByteArray &head, qint64 bytes);

} // namespace HostileFiles
