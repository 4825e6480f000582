#include "Platform/NetworkReachability.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/QtNetworkReachability.h"

NetworkReachability &NetworkReachability::shared()
{
    return sharedPort<NetworkReachability, QtNetworkReachability>();
}

void NetworkReachability::install(std::unique_ptr<NetworkReachability> reachability)
{
    installedPort<NetworkReachability>() = std::move(reachability);
}
