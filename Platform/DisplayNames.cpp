#include "Platform/DisplayNames.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/DesktopDisplayNames.h"

DisplayNames &DisplayNames::shared()
{
    return sharedPort<DisplayNames, DesktopDisplayNames>();
}

void DisplayNames::install(std::unique_ptr<DisplayNames> names)
{
    installedPort<DisplayNames>() = std::move(names);
}
