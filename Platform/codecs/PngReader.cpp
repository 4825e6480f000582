#include "Platform/codecs/PngReader.h"

#include <QImageReader>

#include <libdeflate.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr unsigned char pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// The bounds libpng reads with, under Qt: a side beyond a million pixels, or a chunk beyond eight
// million bytes, makes it give up. Such files are left to it, so that this reader never gives a
// picture where Qt gives none.
constexpr quint32 largestSide = 1000000;
constexpr quint32 largestChunk = 8000000;
// Deflate inflates at most 1032 times (a 258-byte match in a bit or two); a file whose image data
// cannot fill the picture its header names is refused before anything of that size is allocated.
constexpr quint64 largestInflation = 1040;

constexpr quint32 chunkType(const char (&name)[5])
{
    return quint32(quint8(name[0])) << 24 | quint32(quint8(name[1])) << 16 | quint32(quint8(name[2])) << 8 | quint32(quint8(name[3]));
}

quint32 bigEndian(const unsigned char *bytes)
{
    return quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8 | quint32(bytes[3]);
}

bool isLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// libpng gives up on a critical chunk whose check sum is wrong, and so Qt gives no picture.
bool checksumHolds(const unsigned char *typeAndData, quint32 length)
{
    return libdeflate_crc32(0, typeAndData, size_t(length) + 4) == bigEndian(typeAndData + 4 + length);
}

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor *decompressor) const { libdeflate_free_decompressor(decompressor); }
};

libdeflate_decompressor *decompressor()
{
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> kept(libdeflate_alloc_decompressor());
    return kept.get();
}

unsigned char paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return quint8(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

#if defined(__SSE2__)
// The filters that predict from the pixel to the left, above and above-left, for four samples a
// pixel: each pixel's four samples at once, in 16-bit lanes. Half the time of reading an icon goes
// to these byte by byte otherwise.
__m128i widened(const unsigned char *pixel)
{
    int bytes;
    std::memcpy(&bytes, pixel, 4);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), _mm_setzero_si128());
}

void storeNarrowed(unsigned char *pixel, __m128i samples)
{
    const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(samples, samples));
    std::memcpy(pixel, &bytes, 4);
}

__m128i absolute(__m128i value)
{
    return _mm_max_epi16(value, _mm_sub_epi16(_mm_setzero_si128(), value));
}

__m128i select(__m128i mask, __m128i whenSet, __m128i otherwise)
{
    return _mm_or_si128(_mm_and_si128(mask, whenSet), _mm_andnot_si128(mask, otherwise));
}

void unfilterAverage4(unsigned char *row, const unsigned char *prior, size_t length)
{
    const __m128i lowBytes = _mm_set1_epi16(0xff);
    __m128i left = _mm_setzero_si128();
    for (size_t i = 0; i < length; i += 4) {
        const __m128i average = _mm_srli_epi16(_mm_add_epi16(left, widened(prior + i)), 1);
        left = _mm_and_si128(_mm_add_epi16(widened(row + i), average), lowBytes);
        storeNarrowed(row + i, left);
    }
}

void unfilterPaeth4(unsigned char *row, const unsigned char *prior, size_t length)
{
    const __m128i lowBytes = _mm_set1_epi16(0xff);
    __m128i left = _mm_setzero_si128();
    __m128i upperLeft = _mm_setzero_si128();
    for (size_t i = 0; i < length; i += 4) {
        const __m128i up = widened(prior + i);
        const __m128i towardsLeft = _mm_sub_epi16(up, upperLeft);
        const __m128i towardsUp = _mm_sub_epi16(left, upperLeft);
        const __m128i pa = absolute(towardsLeft);
        const __m128i pb = absolute(towardsUp);
        const __m128i pc = absolute(_mm_add_epi16(towardsLeft, towardsUp));
        const __m128i smallest = _mm_min_epi16(_mm_min_epi16(pa, pb), pc);
        // Ties go to the left, then to the pixel above, as the format says.
        const __m128i nearest = select(_mm_cmpeq_epi16(smallest, pa), left,
                                       select(_mm_cmpeq_epi16(smallest, pb), up, upperLeft));
        left = _mm_and_si128(_mm_add_epi16(widened(row + i), nearest), lowBytes);
        storeNarrowed(row + i, left);
        upperLeft = up;
    }
}
#endif

// Adds to each byte of the row what `predict` makes of the bytes to its left, above and above-left
// (zeros left of the first pixel).
template <size_t bpp, typename Predict>
void undoPrediction(unsigned char *row, const unsigned char *prior, size_t length, Predict predict)
{
    for (size_t i = 0; i < bpp && i < length; ++i)
        row[i] = quint8(row[i] + predict(0, prior[i], 0));
    for (size_t i = bpp; i < length; ++i)
        row[i] = quint8(row[i] + predict(row[i - bpp], prior[i], prior[i - bpp]));
}

// Undoes a row's filter in place; `prior` is the row above, already undone (zeros above the first).
template <size_t bpp>
bool unfilter(unsigned char *row, const unsigned char *prior, size_t length, unsigned char filter)
{
#if defined(__SSE2__)
    if constexpr (bpp == 4) {
        if (filter == 3) {
            unfilterAverage4(row, prior, length);
            return true;
        }
        if (filter == 4) {
            unfilterPaeth4(row, prior, length);
            return true;
        }
    }
#endif
    switch (filter) {
    case 0:
        return true;
    case 1:
        undoPrediction<bpp>(row, prior, length, [](unsigned left, unsigned, unsigned) { return left; });
        return true;
    case 2:
        undoPrediction<bpp>(row, prior, length, [](unsigned, unsigned up, unsigned) { return up; });
        return true;
    case 3:
        undoPrediction<bpp>(row, prior, length, [](unsigned left, unsigned up, unsigned) { return (left + up) >> 1; });
        return true;
    case 4:
        undoPrediction<bpp>(row, prior, length,
                            [](unsigned left, unsigned up, unsigned upperLeft) { return paeth(int(left), int(up), int(upperLeft)); });
        return true;
    default:
        return false;
    }
}

// One row of samples as premultiplied ARGB32, as Qt's conversion of what its reader gives makes it.
template <size_t channels>
void convert(const unsigned char *samples, QRgb *pixels, size_t width)
{
    for (size_t x = 0; x < width; ++x, samples += channels) {
        if constexpr (channels == 1) {
            pixels[x] = qRgb(samples[0], samples[0], samples[0]);
        } else if constexpr (channels == 3) {
            pixels[x] = qRgb(samples[0], samples[1], samples[2]);
        } else {
            const unsigned char alpha = samples[channels - 1];
            const QRgb colour = channels == 2 ? qRgba(samples[0], samples[0], samples[0], alpha)
                                              : qRgba(samples[0], samples[1], samples[2], alpha);
            // Icons are mostly wholly clear or wholly opaque, which premultiplying leaves as they are.
            pixels[x] = alpha == 0xff ? colour : alpha == 0 ? 0 : qPremultiply(colour);
        }
    }
}

template <size_t channels>
bool unfilterAndConvert(unsigned char *rows, QImage &image, size_t width, size_t height)
{
    const size_t length = width * channels;
    const std::vector<unsigned char> zeros(length, 0);
    const unsigned char *prior = zeros.data();
    for (size_t y = 0; y < height; ++y) {
        unsigned char *row = rows + y * (length + 1); // within the rows, whose size fits a size_t
        if (!unfilter<channels>(row + 1, prior, length, row[0]))
            return false;
        convert<channels>(row + 1, reinterpret_cast<QRgb *>(image.scanLine(int(y))), width);
        prior = row + 1;
    }
    return true;
}

// Whether Qt's reader would allocate the picture at all (it refuses one beyond its limit), reckoned
// at the four bytes a pixel this reader allocates, whatever the file's own depth: a grey file Qt
// would read at one byte a pixel is still four here, and is left to Qt when that passes the limit.
bool withinAllocationLimit(quint64 width, quint64 height)
{
    const int megabytes = QImageReader::allocationLimit();
    if (megabytes <= 0)
        return true;
    return width * 4 * height <= quint64(megabytes) << 20;
}

} // namespace

namespace PngReader {

bool hasSignature(QByteArrayView bytes)
{
    return bytes.size() >= qsizetype(sizeof pngSignature) && std::memcmp(bytes.data(), pngSignature, sizeof pngSignature) == 0;
}

std::optional<QImage> read(QByteArrayView bytes, qint64 pixelLimit)
{
    if (!hasSignature(bytes))
        return std::nullopt;
    const auto *file = reinterpret_cast<const unsigned char *>(bytes.data());
    const size_t size = size_t(bytes.size());
    size_t position = sizeof pngSignature;

    quint32 width = 0;
    quint32 height = 0;
    size_t channels = 0;
    std::vector<std::pair<const unsigned char *, size_t>> imageData;
    size_t imageDataBytes = 0;
    bool imageDataEnded = false;
    for (bool first = true;; first = false) {
        if (size - position < 12)
            return std::nullopt;
        const quint32 length = bigEndian(file + position);
        if (length > largestChunk || length > size - position - 12)
            return std::nullopt;
        const unsigned char *typeAndData = file + position + 4;
        if (!std::all_of(typeAndData, typeAndData + 4, isLetter))
            return std::nullopt;
        const quint32 type = bigEndian(typeAndData);
        const unsigned char *data = typeAndData + 4;
        position += size_t(length) + 12;
        if (first != (type == chunkType("IHDR")))
            return std::nullopt;
        if (type == chunkType("IHDR")) {
            if (length != 13 || !checksumHolds(typeAndData, length))
                return std::nullopt;
            width = bigEndian(data);
            height = bigEndian(data + 4);
            const unsigned char depth = data[8];
            const unsigned char colourType = data[9];
            // Compression, filtering and interlacing: only the one method of each, not interlaced.
            if (width == 0 || height == 0 || width > largestSide || height > largestSide || depth != 8 || data[10] != 0
                || data[11] != 0 || data[12] != 0)
                return std::nullopt;
            switch (colourType) {
            case 0: channels = 1; break;
            case 2: channels = 3; break;
            case 4: channels = 2; break;
            case 6: channels = 4; break;
            default: return std::nullopt;
            }
            if (pixelLimit < 0 || quint64(width) * height > quint64(pixelLimit)
                || !withinAllocationLimit(width, height))
                return std::nullopt;
        } else if (type == chunkType("IDAT")) {
            // Image data comes in consecutive chunks; libpng refuses it split by other chunks.
            if (imageDataEnded || !checksumHolds(typeAndData, length))
                return std::nullopt;
            imageData.emplace_back(data, length);
            imageDataBytes += length;
        } else if (type == chunkType("IEND")) {
            if (length != 0 || !checksumHolds(typeAndData, length))
                return std::nullopt;
            break;
        } else if ((typeAndData[0] & 0x20) == 0 || type == chunkType("tRNS")) {
            // A critical chunk this reader does not know (a palette, a second header), or a
            // transparent colour that changes the pixels: Qt's reader decides.
            return std::nullopt;
        } else if (!imageData.empty()) {
            imageDataEnded = true;
        }
    }
    if (imageData.empty())
        return std::nullopt;

    // Both sides are at most a million: reckoned in 64 bits these cannot overflow, and a size_t of
    // 32 bits that cannot hold them refuses the file.
    const quint64 rowLength = quint64(width) * channels + 1;
    const quint64 wholeRows = rowLength * height;
    if (wholeRows > quint64(imageDataBytes) * largestInflation + 1024 || wholeRows > std::numeric_limits<size_t>::max())
        return std::nullopt;
    const size_t inflatedSize = size_t(wholeRows);

    std::vector<unsigned char> joined;
    const unsigned char *compressed = imageData.front().first;
    if (imageData.size() > 1) {
        joined.reserve(imageDataBytes);
        for (const auto &[chunk, length] : imageData)
            joined.insert(joined.end(), chunk, chunk + length);
        compressed = joined.data();
    }
    libdeflate_decompressor *inflater = decompressor();
    if (!inflater)
        return std::nullopt;
    const std::unique_ptr<unsigned char[]> rows(new (std::nothrow) unsigned char[inflatedSize]);
    if (!rows)
        return std::nullopt;
    size_t consumed = 0;
    size_t produced = 0;
    // The stream must fill the rows exactly and end where the image data ends: libpng refuses a
    // stream with more in it and a file with data after it, and cannot fill a picture from less.
    if (libdeflate_zlib_decompress_ex(inflater, compressed, imageDataBytes, rows.get(), inflatedSize, &consumed, &produced)
            != LIBDEFLATE_SUCCESS
        || consumed != imageDataBytes || produced != inflatedSize)
        return std::nullopt;

    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return std::nullopt;
    bool undone = false;
    switch (channels) {
    case 1: undone = unfilterAndConvert<1>(rows.get(), image, width, height); break;
    case 2: undone = unfilterAndConvert<2>(rows.get(), image, width, height); break;
    case 3: undone = unfilterAndConvert<3>(rows.get(), image, width, height); break;
    default: undone = unfilterAndConvert<4>(rows.get(), image, width, height); break;
    }
    if (!undone)
        return std::nullopt;
    return image;
}

} // namespace PngReader
