// The thumbnail helper's answers about icons, and the requests it is given: whatever a broken or
// subverted helper writes, the program takes pictures no larger than the largest, or nothing; and
// whatever the arguments say, the helper asks for nothing out of bounds.
#include "Platform/thumbnailhelper/IconTransfer.h"
#include "fuzz/FuzzSupport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QByteArray bytes = FuzzSupport::bytes(data, size);
    // Read whole and in small pieces alike.
    for (const qsizetype piece : {bytes.size(), qsizetype(7)}) {
        IconTransfer::Reader answers;
        for (qsizetype at = 0; at < bytes.size(); at += std::max<qsizetype>(piece, 1)) {
            answers.append(bytes.mid(at, piece));
            while (const std::optional<QList<QImage>> pictures = answers.takeAnswer()) {
                if (pictures->size() > IconTransfer::maximumSides)
                    std::abort();
                for (const QImage &picture : *pictures) {
                    if (picture.isNull() || picture.width() > IconDrawing::maximumSide || picture.height() > IconDrawing::maximumSide)
                        std::abort();
                }
            }
        }
    }
    // The same bytes as three arguments.
    const QList<QByteArray> parts = bytes.split('\0');
    if (parts.size() >= 3) {
        if (const std::optional<IconTransfer::Request> request =
                IconTransfer::requestFrom(QString::fromUtf8(parts.at(0)), QString::fromUtf8(parts.at(1)), QString::fromUtf8(parts.at(2)))) {
            if (request->sides.isEmpty() || request->sides.size() > IconTransfer::maximumSides || request->path.isEmpty())
                std::abort();
            for (const int side : request->sides) {
                if (side < 1 || side > IconDrawing::maximumSide)
                    std::abort();
            }
        }
    }
    return 0;
}
