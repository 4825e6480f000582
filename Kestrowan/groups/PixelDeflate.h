#pragma once

#include <QByteArray>

#include <optional>

// A zlib stream for the rows of a PNG image, made quickly. A folder icon is flat areas, runs of one
// colour along a row and rows that repeat the row above: every match here is a whole run of pixels
// equal to the pixel to their left or to the pixels above them, found by comparing pixels rather
// than searched for in a table, and each block of rows gets Huffman codes of its own. An icon is
// compressed in a fraction of libdeflate's fastest level's time, for a file a fifth or so larger.
namespace PixelDeflate {

// `rows` holds `height` rows, each a filter byte followed by `width` pixels of `bytesPerPixel`
// (3 or 4) bytes, as a PNG file's image data holds them before compression. Nothing when the rows
// are not so.
std::optional<QByteArray> compress(const QByteArray &rows, int width, int height, int bytesPerPixel);

} // namespace PixelDeflate
