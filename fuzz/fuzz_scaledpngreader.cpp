// The PNG reader that scales as it reads, on libpng. Whatever the bytes, it reads nothing outside
// them, holds no more than a few times the picture asked for, and a picture it gives has the size
// asked for (at most the file's own) and pixels that are validly premultiplied. A PNG input is read
// as it is and again with its chunks' check sums mended, so that mutations get past them; each at
// sizes an icon or a preview asks for (at most 256 by 256 here), half and a tenth of that, and one
// pixel. With a chunk after its header that names far more than the file holds, it gives nothing.
#include "Platform/codecs/ScaledPngReader.h"
#include "fuzz/FuzzSupport.h"

#include <QImage>

namespace {

constexpr qint64 pixelLimit = qint64(8192) * 8192;

void readAtEverySize(const QByteArray &input)
{
    const std::optional<ScaledPngReader::Header> header = ScaledPngReader::header(input);
    if (!header)
        return;
    const QSize natural = header->size;
    const QSize largest = natural.boundedTo(QSize(256, 256));
    for (const QSize &asked : {largest, natural / 2, natural / 10, QSize(1, 1)}) {
        if (asked.isEmpty() || asked.width() > 256 || asked.height() > 256)
            continue;
        const std::optional<QImage> image = ScaledPngReader::read(input, asked, pixelLimit);
        if (!image)
            continue;
        if (image->size() != asked.boundedTo(natural) || image->format() != QImage::Format_ARGB32_Premultiplied)
            __builtin_trap();
        for (int y = 0; y < image->height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(image->constScanLine(y));
            for (int x = 0; x < image->width(); ++x) {
                const int alpha = qAlpha(line[x]);
                if (qRed(line[x]) > alpha || qGreen(line[x]) > alpha || qBlue(line[x]) > alpha)
                    __builtin_trap();
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    QByteArray input = FuzzSupport::bytes(data, size);
    readAtEverySize(input);
    FuzzSupport::mendPngChecksums(input);
    readAtEverySize(input);
    const QByteArray claimingMore = FuzzSupport::withChunkPastTheEnd(input);
    if (!claimingMore.isEmpty() && ScaledPngReader::read(claimingMore, QSize(16, 16), pixelLimit))
        __builtin_trap();
    return 0;
}
