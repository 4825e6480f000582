#pragma once

#include <QByteArray>
#include <QtGlobal>

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

// Calls `piece` with the lengths a run of `bytes` bytes equal to those at one distance back is
// written as: matches of at most 258 bytes, none shorter than 3 (a run of fewer than 3 is not one).
// A row of hundreds of millions of pixels makes a run of more bytes than an int holds.
template <typename Piece>
void forEachMatchPiece(qsizetype bytes, Piece &&piece)
{
    constexpr qsizetype longest = 258;
    constexpr qsizetype shortest = 3;
    while (bytes > 0) {
        const qsizetype length = bytes <= longest ? bytes : bytes - longest < shortest ? bytes - shortest : longest;
        piece(int(length));
        bytes -= length;
    }
}

} // namespace PixelDeflate
