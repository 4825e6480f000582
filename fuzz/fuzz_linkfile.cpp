// Web-link files dropped on a group: ".webloc" (a property list) and ".url" (an INI-like text).
#include "Kestrowan/groups/ItemFactory.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QByteArray bytes = FuzzSupport::bytes(data, size);
    (void)webLocationFileTarget(FuzzSupport::writeScratchFile(QStringLiteral("link.webloc"), bytes));
    (void)internetShortcutFileTarget(FuzzSupport::writeScratchFile(QStringLiteral("link.url"), bytes));
    return 0;
}
