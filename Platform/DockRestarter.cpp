#include "Platform/DockRestarter.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/DockSocketRestarter.h"

DockRestarter &DockRestarter::shared()
{
    return sharedPort<DockRestarter, DockSocketRestarter>();
}

void DockRestarter::install(std::unique_ptr<DockRestarter> restarter)
{
    installedPort<DockRestarter>() = std::move(restarter);
}
