#include "Platform/ApplicationActivation.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/DockSocketActivation.h"

ApplicationActivation &ApplicationActivation::shared()
{
    return sharedPort<ApplicationActivation, DockSocketActivation>();
}

void ApplicationActivation::install(std::unique_ptr<ApplicationActivation> activation)
{
    installedPort<ApplicationActivation>() = std::move(activation);
}
