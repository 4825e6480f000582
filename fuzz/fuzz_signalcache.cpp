// The usage-signal cache file read back at start.
#include "Tallyline/SignalCache.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QString path = FuzzSupport::writeScratchFile(QStringLiteral("telemetrysignalcache"), FuzzSupport::bytes(data, size));
    SignalCache cache(std::nullopt, path);
    cache.readSignalCacheFile();
    (void)cache.popSignalBatch();
    return 0;
}
