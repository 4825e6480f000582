// A ".strings" text table.
#include "Kestrowan/shell/StringsTable.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    (void)StringsTable::parse(FuzzSupport::bytes(data, size));
    return 0;
}
