#include "Platform/ApplicationBundles.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/DesktopApplicationBundles.h"

ApplicationBundles &ApplicationBundles::shared()
{
    return sharedPort<ApplicationBundles, DesktopApplicationBundles>();
}

void ApplicationBundles::install(std::unique_ptr<ApplicationBundles> info)
{
    installedPort<ApplicationBundles>() = std::move(info);
}

bool ApplicationBundles::isApplicationPath(const QString &path)
{
    return path.endsWith(QLatin1String(".app"), Qt::CaseInsensitive)
        || path.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive);
}
