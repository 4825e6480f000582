#include "Platform/RunningApplications.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/DesktopRunningApplications.h"

RunningApplications &RunningApplications::shared()
{
    return sharedPort<RunningApplications, DesktopRunningApplications>();
}

void RunningApplications::install(std::unique_ptr<RunningApplications> applications)
{
    installedPort<RunningApplications>() = std::move(applications);
}
