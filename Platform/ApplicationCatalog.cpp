#include "Platform/ApplicationCatalog.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/DesktopApplicationCatalog.h"

ApplicationCatalog &ApplicationCatalog::shared()
{
    return sharedPort<ApplicationCatalog, DesktopApplicationCatalog>();
}

void ApplicationCatalog::install(std::unique_ptr<ApplicationCatalog> catalog)
{
    installedPort<ApplicationCatalog>() = std::move(catalog);
}
