// A skin layer's picture file, as bytes: decoded to fit a canvas, or refused by its header.
#include "Kestrowan/icons/SkinIconPainter.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QImage image = decodeSkinLayer(FuzzSupport::bytes(data, size), 1024);
    if (!image.isNull() && (image.width() > 1024 || image.height() > 1024))
        __builtin_trap();
    return 0;
}
