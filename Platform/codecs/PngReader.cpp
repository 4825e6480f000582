#include "Platform/codecs/PngReader.h"

#include <QImageReader>

#include <spng.h>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr unsigned char pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// The bounds libpng reads with, under Qt: a side beyond a million pixels, or a chunk beyond eight
// million bytes, makes it give up. Such files are left to it.
constexpr quint32 largestSide = 1000000;
constexpr size_t largestChunk = 8000000;
// What the ancillary chunks kept in memory (text, profiles) may take together.
constexpr size_t largestChunkCache = 16 * 1024 * 1024;

struct ContextDeleter {
    void operator()(spng_ctx *context) const { spng_ctx_free(context); }
};
using Context = std::unique_ptr<spng_ctx, ContextDeleter>;

// Whether Qt's reader would allocate the picture at all, reckoned at the four bytes a pixel this
// reader allocates: it refuses one beyond its limit, and a file it refuses is not read here either.
bool withinAllocationLimit(quint64 width, quint64 height)
{
    const int megabytes = QImageReader::allocationLimit();
    if (megabytes <= 0)
        return true;
    return width * 4 * height <= quint64(megabytes) << 20;
}

// The kinds of file this reader takes: eight bits a sample, without a palette or a transparent
// colour, not interlaced; Qt reads the rest, as it reads them in every other place.
bool taken(spng_ctx *context, const spng_ihdr &header)
{
    if (header.bit_depth != 8 || header.interlace_method != SPNG_INTERLACE_NONE)
        return false;
    switch (header.color_type) {
    case SPNG_COLOR_TYPE_GRAYSCALE:
    case SPNG_COLOR_TYPE_TRUECOLOR:
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA:
    case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA:
        break;
    default:
        return false;
    }
    spng_trns transparency{};
    return spng_get_trns(context, &transparency) == SPNG_ECHUNKAVAIL;
}

// One row of straight RGBA samples as premultiplied ARGB32, as Qt's conversion of what its reader
// gives makes it.
void convert(const unsigned char *samples, QRgb *pixels, size_t width)
{
    for (size_t x = 0; x < width; ++x, samples += 4) {
        const unsigned char alpha = samples[3];
        const QRgb colour = qRgba(samples[0], samples[1], samples[2], alpha);
        // Icons are mostly wholly clear or wholly opaque, which premultiplying leaves as they are.
        pixels[x] = alpha == 0xff ? colour : alpha == 0 ? 0 : qPremultiply(colour);
    }
}

} // namespace

namespace PngReader {

bool hasSignature(QByteArrayView bytes)
{
    return bytes.size() >= qsizetype(sizeof pngSignature) && std::memcmp(bytes.data(), pngSignature, sizeof pngSignature) == 0;
}

std::optional<QImage> read(QByteArrayView bytes, qint64 pixelLimit)
{
    if (!hasSignature(bytes) || pixelLimit < 0)
        return std::nullopt;
    const Context context(spng_ctx_new(0));
    if (!context || spng_set_image_limits(context.get(), largestSide, largestSide) != 0
        || spng_set_chunk_limits(context.get(), largestChunk, largestChunkCache) != 0
        || spng_set_png_buffer(context.get(), bytes.data(), size_t(bytes.size())) != 0)
        return std::nullopt;
    spng_ihdr header{};
    if (spng_get_ihdr(context.get(), &header) != 0 || !taken(context.get(), header))
        return std::nullopt;
    // Sides of at most a million each: their product fits in 64 bits, whatever size_t is.
    const quint64 width = header.width;
    const quint64 height = header.height;
    if (width * height > quint64(pixelLimit) || !withinAllocationLimit(width, height)
        || width * 4 > quint64(std::numeric_limits<int>::max()) || width * 4 > std::numeric_limits<size_t>::max())
        return std::nullopt;

    // Read a row at a time into the picture: nothing of the size of the picture is held twice,
    // and garbage costs no more than the picture its header names.
    if (spng_decode_image(context.get(), nullptr, 0, SPNG_FMT_RGBA8, SPNG_DECODE_PROGRESSIVE) != 0)
        return std::nullopt;
    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return std::nullopt;
    std::vector<unsigned char> row(size_t(width) * 4);
    for (quint64 y = 0; y < height; ++y) {
        const int status = spng_decode_row(context.get(), row.data(), row.size());
        // The last row ends the image data; one before it cannot.
        if (status != 0 && !(status == SPNG_EOI && y + 1 == height))
            return std::nullopt;
        convert(row.data(), reinterpret_cast<QRgb *>(image.scanLine(int(y))), size_t(width));
    }
    // Qt's reader reads the chunks after the image data too and gives nothing when they are broken.
    if (spng_decode_chunks(context.get()) != 0)
        return std::nullopt;
    return image;
}

} // namespace PngReader
