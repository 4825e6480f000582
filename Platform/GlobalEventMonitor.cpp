#include "Platform/GlobalEventMonitor.h"

#include "Platform/linux/X11GlobalEventMonitor.h"

namespace {

GlobalEventMonitor::Factory &installedFactory()
{
    static GlobalEventMonitor::Factory factory;
    return factory;
}

} // namespace

std::unique_ptr<GlobalEventMonitor> GlobalEventMonitor::create()
{
    if (installedFactory())
        return installedFactory()();
    return std::make_unique<X11GlobalEventMonitor>();
}

void GlobalEventMonitor::installFactory(Factory factory)
{
    installedFactory() = std::move(factory);
}
