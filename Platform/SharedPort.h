#pragma once

#include <memory>

// The process-wide instance of a port: what a test or the program installed, else this machine's
// adapter, made on first use.
template <typename Port>
std::unique_ptr<Port> &installedPort()
{
    static std::unique_ptr<Port> instance;
    return instance;
}

template <typename Port, typename Adapter>
Port &sharedPort()
{
    std::unique_ptr<Port> &current = installedPort<Port>();
    if (!current)
        current = std::make_unique<Adapter>();
    return *current;
}
