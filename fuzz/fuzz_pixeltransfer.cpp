// The thumbnail helper's answer: a picture as pixels. Whatever a broken or subverted helper writes,
// the program gets a picture no larger than the largest, or nothing.
#include "Platform/thumbnailhelper/PixelTransfer.h"
#include "fuzz/FuzzSupport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QImage picture = PixelTransfer::decode(FuzzSupport::bytes(data, size));
    if (!picture.isNull() && (picture.width() > PixelTransfer::maximumSide || picture.height() > PixelTransfer::maximumSide))
        std::abort();
    return 0;
}
