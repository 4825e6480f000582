#include "Platform/HotKeys.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/X11HotKeys.h"

HotKeys &HotKeys::shared()
{
    return sharedPort<HotKeys, X11HotKeys>();
}

void HotKeys::install(std::unique_ptr<HotKeys> hotKeys)
{
    installedPort<HotKeys>() = std::move(hotKeys);
}
