#include "Platform/Accessibility.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/DockSocketAccessibility.h"

Accessibility &Accessibility::shared()
{
    return sharedPort<Accessibility, DockSocketAccessibility>();
}

void Accessibility::install(std::unique_ptr<Accessibility> accessibility)
{
    installedPort<Accessibility>() = std::move(accessibility);
}
