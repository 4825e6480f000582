// A skin layer's picture file, as bytes: decoded to fit a canvas, or refused by its header. A PNG
// file with a chunk that names more than the file holds is refused, alone or inside an icon file.
#include "Platform/thumbnailhelper/IconDrawing.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QByteArray claimingMore = FuzzSupport::withChunkPastTheEnd(FuzzSupport::bytes(data, size));
    if (!claimingMore.isEmpty()) {
        for (const QByteArray &file : {claimingMore, FuzzSupport::insideIconFile(claimingMore)}) {
            if (!IconDrawing::draw(file, {48}, IconDrawing::Fit::Within).isEmpty())
                __builtin_trap();
        }
    }
    for (const IconDrawing::Fit fit : {IconDrawing::Fit::Stretch, IconDrawing::Fit::Within}) {
        for (const QImage &image : IconDrawing::draw(FuzzSupport::bytes(data, size), {1024, 48}, fit)) {
            if (image.isNull() || image.width() > 1024 || image.height() > 1024)
                __builtin_trap();
        }
    }
    return 0;
}
