#include "Platform/WorkspaceNotifications.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/X11WorkspaceNotifications.h"

WorkspaceNotifications &WorkspaceNotifications::shared()
{
    return sharedPort<WorkspaceNotifications, X11WorkspaceNotifications>();
}

void WorkspaceNotifications::install(std::unique_ptr<WorkspaceNotifications> notifications)
{
    installedPort<WorkspaceNotifications>() = std::move(notifications);
}
