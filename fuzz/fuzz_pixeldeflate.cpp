// The compressor of folder icons' rows. Whatever the rows, the stream it makes reads back through
// libdeflate and through zlib to exactly those rows, and it writes nothing beyond its buffer.
// The first three bytes give the width, the height and the bytes a pixel; the rest of the input,
// repeated as often as it takes, is the rows, so that runs and repeated rows come from mutations.
#include "Platform/codecs/PixelDeflate.h"
#include "fuzz/FuzzSupport.h"

#include <QtEndian>

#include <libdeflate.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    if (size < 4)
        return 0;
    const int bytesPerPixel = data[2] & 0x80 ? 4 : 3;
    // Rows up to beyond the reach of a match from the row above, but few of them when they are long.
    const int width = (int(data[0]) | (int(data[1]) & 0x3f) << 8) % 9000 + 1;
    const int height = (data[2] & 0x7f) % (width > 512 ? 4 : 96) + 1;
    const QByteArray pattern = FuzzSupport::bytes(data + 3, size - 3);
    const qsizetype rowBytes = 1 + qsizetype(width) * bytesPerPixel;
    QByteArray rows(rowBytes * height, Qt::Uninitialized);
    for (qsizetype at = 0; at < rows.size(); ++at)
        rows[at] = pattern.at(at % pattern.size());
    const std::optional<QByteArray> stream = PixelDeflate::compress(rows, width, height, bytesPerPixel);
    if (!stream)
        std::abort();

    QByteArray inflated(rows.size(), Qt::Uninitialized);
    libdeflate_decompressor *decompressor = libdeflate_alloc_decompressor();
    size_t inflatedBytes = 0;
    const libdeflate_result result = libdeflate_zlib_decompress(decompressor, stream->constData(), size_t(stream->size()), inflated.data(),
                                                                size_t(inflated.size()), &inflatedBytes);
    libdeflate_free_decompressor(decompressor);
    if (result != LIBDEFLATE_SUCCESS || inflatedBytes != size_t(rows.size()) || inflated != rows)
        std::abort();
    QByteArray framed(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(rows.size()), framed.data());
    if (qUncompress(framed + *stream) != rows)
        std::abort();
    return 0;
}
