#include "Platform/Workspace.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/DesktopWorkspace.h"

Workspace &Workspace::shared()
{
    return sharedPort<Workspace, DesktopWorkspace>();
}

void Workspace::install(std::unique_ptr<Workspace> workspace)
{
    installedPort<Workspace>() = std::move(workspace);
}
