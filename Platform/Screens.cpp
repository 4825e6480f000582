#include "Platform/Screens.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/QtScreens.h"

Screens &Screens::shared()
{
    return sharedPort<Screens, QtScreens>();
}

void Screens::install(std::unique_ptr<Screens> screens)
{
    installedPort<Screens>() = std::move(screens);
}
