#include "Platform/SystemAppearance.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/GtkSystemAppearance.h"

SystemAppearance &SystemAppearance::shared()
{
    return sharedPort<SystemAppearance, GtkSystemAppearance>();
}

void SystemAppearance::install(std::unique_ptr<SystemAppearance> appearance)
{
    installedPort<SystemAppearance>() = std::move(appearance);
}
