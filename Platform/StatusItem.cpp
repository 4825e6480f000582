#include "Platform/StatusItem.h"

#include "Platform/linux/TrayStatusItem.h"

namespace {

StatusItem::Factory &installedFactory()
{
    static StatusItem::Factory factory;
    return factory;
}

} // namespace

std::unique_ptr<StatusItem> StatusItem::make()
{
    if (const StatusItem::Factory &factory = installedFactory())
        return factory();
    return std::make_unique<TrayStatusItem>();
}

void StatusItem::installFactory(Factory factory)
{
    installedFactory() = std::move(factory);
}
