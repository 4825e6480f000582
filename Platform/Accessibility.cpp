#include "Platform/Accessibility.h"

#include "Platform/linux/DockSocketAccessibility.h"

namespace {

std::unique_ptr<Accessibility> &installed()
{
    static std::unique_ptr<Accessibility> instance;
    return instance;
}

} // namespace

Accessibility &Accessibility::shared()
{
    std::unique_ptr<Accessibility> &current = installed();
    if (!current)
        current = std::make_unique<DockSocketAccessibility>();
    return *current;
}

void Accessibility::install(std::unique_ptr<Accessibility> accessibility)
{
    installed() = std::move(accessibility);
}
