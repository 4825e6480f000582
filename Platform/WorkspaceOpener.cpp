#include "Platform/WorkspaceOpener.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/DesktopWorkspaceOpener.h"

WorkspaceOpener &WorkspaceOpener::shared()
{
    return sharedPort<WorkspaceOpener, DesktopWorkspaceOpener>();
}

void WorkspaceOpener::install(std::unique_ptr<WorkspaceOpener> opener)
{
    installedPort<WorkspaceOpener>() = std::move(opener);
}
