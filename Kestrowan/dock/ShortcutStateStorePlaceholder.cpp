// Stands in until the shortcut state store lands: it keeps nothing yet.
#include "Kestrowan/dock/ShortcutStateStoreInterface.h"

std::unique_ptr<ShortcutStateStoreInterface> makeShortcutStateStore()
{
    return std::make_unique<ShortcutStateStoreInterface>();
}
