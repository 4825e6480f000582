// A freedesktop desktop entry.
#include "Platform/linux/DesktopEntry.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    (void)DesktopEntry::parse(FuzzSupport::bytes(data, size));
    return 0;
}
