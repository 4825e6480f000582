#include "Platform/codecs/ScaledPngReader.h"

#include "Platform/codecs/PictureBytes.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr unsigned char pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// The longest row read: a megabyte at four bytes a pixel. A file's rows are read one at a time, so
// this, not the picture, is what a row costs.
constexpr quint32 longestRow = 256 * 1024;

quint32 bigEndian(const char *bytes)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes);
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

struct Source {
    const unsigned char *bytes = nullptr;
    size_t size = 0;
    size_t at = 0;
};

void readFromSource(png_structp png, png_bytep out, size_t length)
{
    auto *source = static_cast<Source *>(png_get_io_ptr(png));
    if (length > source->size - source->at)
        png_error(png, "the file ends early");
    std::memcpy(out, source->bytes + source->at, length);
    source->at += length;
}

[[noreturn]] void failed(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void warned(png_structp, png_const_charp) {}

// How many of `from` rows (or columns) fall in row `index` of `to` when each goes to the one its
// position falls in: every one of them at least one, as `to` is at most `from`.
quint64 sharing(quint64 index, quint64 from, quint64 to)
{
    const auto firstOf = [from, to](quint64 i) { return (i * from + to - 1) / to; };
    return firstOf(index + 1) - firstOf(index);
}

// Where the pixels are added up: four sums (premultiplied red, green, blue, and alpha) for each
// pixel of the picture made.
struct Scaling {
    quint32 width = 0;
    quint32 height = 0;
    bool interlaced = false;
    int madeWidth = 0;
    int madeHeight = 0;
    const quint32 *columnOf = nullptr;
    quint32 *sums = nullptr;
    unsigned char *row = nullptr;
};

void addRow(const Scaling &scaling, quint32 y, quint32 columns, int pass)
{
    const quint64 madeRow = quint64(y) * quint64(scaling.madeHeight) / scaling.height;
    quint32 *line = scaling.sums + madeRow * quint64(scaling.madeWidth) * 4;
    const unsigned char *pixel = scaling.row;
    for (quint32 c = 0; c < columns; ++c, pixel += 4) {
        const quint32 x = scaling.interlaced ? quint32(PNG_COL_FROM_PASS_COL(c, pass)) : c;
        quint32 *sum = line + quint64(scaling.columnOf[x]) * 4;
        const quint32 alpha = pixel[3];
        if (alpha == 255) {
            sum[0] += pixel[0];
            sum[1] += pixel[1];
            sum[2] += pixel[2];
        } else if (alpha != 0) {
            sum[0] += (pixel[0] * alpha + 127) / 255;
            sum[1] += (pixel[1] * alpha + 127) / 255;
            sum[2] += (pixel[2] * alpha + 127) / 255;
        }
        sum[3] += alpha;
    }
}

// Reads every row into the sums. Runs under libpng's error jump, which leaves it from anywhere
// within: nothing here has anything to destroy.
bool readRows(png_structp png, png_infop info, const Scaling &scaling)
{
    png_read_info(png, info);
    if (png_get_image_width(png, info) != scaling.width || png_get_image_height(png, info) != scaling.height)
        return false;
    // Every kind becomes 8-bit RGBA: palettes and transparency expanded, small grey samples spread
    // over eight bits, 16-bit samples rounded to eight, grey copied to all three colours.
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    // Interlaced files are read pass by pass, each row of a pass as it is in the file: every pixel
    // goes to its place once, and no picture of the whole is ever put together.
    png_read_update_info(png, info);
    if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != 4 || png_get_rowbytes(png, info) > size_t(scaling.width) * 4)
        return false;
    const int passes = scaling.interlaced ? PNG_INTERLACE_ADAM7_PASSES : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const quint32 columns = scaling.interlaced ? quint32(PNG_PASS_COLS(scaling.width, pass)) : scaling.width;
        const quint32 rows = scaling.interlaced ? quint32(PNG_PASS_ROWS(scaling.height, pass)) : scaling.height;
        if (columns == 0 || rows == 0)
            continue;
        for (quint32 r = 0; r < rows; ++r) {
            png_read_row(png, scaling.row, nullptr);
            addRow(scaling, scaling.interlaced ? quint32(PNG_ROW_FROM_PASS_ROW(r, pass)) : r, columns, pass);
        }
    }
    return true;
}

} // namespace

namespace ScaledPngReader {

std::optional<Header> header(QByteArrayView bytes)
{
    // The signature, then the header chunk's length and type, then its thirteen bytes.
    constexpr qsizetype headerEnd = 8 + 8 + 13;
    if (bytes.size() < headerEnd || std::memcmp(bytes.data(), pngSignature, 8) != 0 || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0)
        return std::nullopt;
    const quint32 width = bigEndian(bytes.data() + 16);
    const quint32 height = bigEndian(bytes.data() + 20);
    constexpr quint32 largest = quint32(std::numeric_limits<int>::max());
    if (width == 0 || height == 0 || width > largest || height > largest)
        return std::nullopt;
    Header header;
    header.size = QSize(int(width), int(height));
    header.bitDepth = quint8(bytes.at(24));
    header.colourType = quint8(bytes.at(25));
    header.interlaced = bytes.at(28) != 0;
    return header;
}

bool qtScalesWhileReading(const Header &header)
{
    constexpr int rgb = 2;
    constexpr int greyWithAlpha = 4;
    constexpr int rgba = 6;
    return !header.interlaced && header.bitDepth == 8
        && (header.colourType == rgb || header.colourType == greyWithAlpha || header.colourType == rgba);
}

// libpng tells of a broken file by jumping back to where this frame set the jump: a frame of its own
// that changes nothing after setting it, so no optimiser can lose a value across the jump.
bool readGuarded(png_structp png, png_infop info, const Scaling &scaling)
{
    if (setjmp(png_jmpbuf(png)) != 0)
        return false;
    return readRows(png, info, scaling);
}

std::optional<QImage> read(QByteArrayView bytes, const QSize &size, qint64 pixelLimit)
{
    const std::optional<Header> head = header(bytes);
    if (!head || size.isEmpty() || !PictureBytes::holdWhatTheyClaim(bytes))
        return std::nullopt;
    Scaling scaling;
    scaling.width = quint32(head->size.width());
    scaling.height = quint32(head->size.height());
    scaling.interlaced = head->interlaced;
    if (qint64(scaling.width) * scaling.height > pixelLimit || scaling.width > longestRow)
        return std::nullopt;
    scaling.madeWidth = std::min(size.width(), head->size.width());
    scaling.madeHeight = std::min(size.height(), head->size.height());
    // Each sum adds at most 255 for each pixel it takes: the most any one takes must fit.
    const quint64 madeWidth = quint64(scaling.madeWidth);
    const quint64 madeHeight = quint64(scaling.madeHeight);
    const quint64 mostInOne = ((scaling.width + madeWidth - 1) / madeWidth) * ((scaling.height + madeHeight - 1) / madeHeight);
    if (mostInOne > std::numeric_limits<quint32>::max() / 255)
        return std::nullopt;

    std::vector<quint32> columnOf(scaling.width);
    for (quint32 x = 0; x < scaling.width; ++x)
        columnOf[x] = quint32(quint64(x) * quint64(scaling.madeWidth) / scaling.width);
    std::vector<quint32> sums(size_t(scaling.madeWidth) * size_t(scaling.madeHeight) * 4, 0);
    std::vector<unsigned char> row(size_t(scaling.width) * 4);
    scaling.columnOf = columnOf.data();
    scaling.sums = sums.data();
    scaling.row = row.data();

    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failed, warned);
    if (!png)
        return std::nullopt;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return std::nullopt;
    }
    // libpng allocates what a chunk names before it reads it, and a text or profile chunk as large
    // as it expands to: none may take more than the file itself (nor more than libpng's own
    // default), nor a side pass the header's.
    constexpr png_alloc_size_t smallestChunkLimit = 64 * 1024;
    constexpr png_alloc_size_t largestChunkLimit = 8000000;
    png_set_chunk_malloc_max(png, std::clamp<png_alloc_size_t>(size_t(bytes.size()), smallestChunkLimit, largestChunkLimit));
    png_set_user_limits(png, scaling.width, scaling.height);
    Source source{reinterpret_cast<const unsigned char *>(bytes.data()), size_t(bytes.size()), 0};
    png_set_read_fn(png, &source, readFromSource);
    const bool complete = readGuarded(png, info, scaling);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!complete)
        return std::nullopt;

    QImage image(scaling.madeWidth, scaling.madeHeight, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return std::nullopt;
    for (int y = 0; y < scaling.madeHeight; ++y) {
        const quint64 rows = sharing(quint64(y), scaling.height, quint64(scaling.madeHeight));
        const quint32 *sum = sums.data() + size_t(y) * size_t(scaling.madeWidth) * 4;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < scaling.madeWidth; ++x, sum += 4) {
            const quint64 count = rows * sharing(quint64(x), scaling.width, quint64(scaling.madeWidth));
            const auto average = [count](quint32 total) { return int((total + count / 2) / count); };
            out[x] = qRgba(average(sum[0]), average(sum[1]), average(sum[2]), average(sum[3]));
        }
    }
    return image;
}

} // namespace ScaledPngReader
