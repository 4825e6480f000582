// A skin layer's picture file, as bytes: decoded to fit a canvas, or refused by its header.
#include "Platform/thumbnailhelper/IconDrawing.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    for (const IconDrawing::Fit fit : {IconDrawing::Fit::Stretch, IconDrawing::Fit::Within}) {
        for (const QImage &image : IconDrawing::draw(FuzzSupport::bytes(data, size), {1024, 48}, fit)) {
            if (image.isNull() || image.width() > 1024 || image.height() > 1024)
                __builtin_trap();
        }
    }
    return 0;
}
