#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

namespace ApplicationOwnership {

// Whether the caller runs on the application object's thread (false before there is one).
bool onApplicationThread();

// Hands `service` to the application object, which deletes it as it goes; `whenQuitting` runs
// as it starts to quit, while everything is still whole. False, and nothing changes, without an
// application object.
bool adopt(QObject *service, std::function<void()> whenQuitting);

} // namespace ApplicationOwnership

// The base of a service the whole program shares one instance of, owned by the application
// object: made on first use on the application's thread, its `cancelAll()` run as the application
// quits (ending every helper process it runs), deleted with the application. The service (a
// QObject with a default constructor) calls forgetShared(this) first thing as it ends.
template <typename Service>
class ApplicationInstance {
public:
    // The instance every view uses; from another thread, nothing when none was made yet.
    static Service *shared()
    {
        if (Service *service = kept().load())
            return service;
        if (!ApplicationOwnership::onApplicationThread())
            return nullptr;
        setShared(std::make_unique<Service>());
        return kept().load();
    }

    // Replaces the shared instance (tests); it goes to the application object, which owns it.
    // nullptr ends the current one, and the next use makes the default one.
    static void setShared(std::unique_ptr<Service> service)
    {
        delete kept().exchange(nullptr);
        if (!service)
            return;
        Service *owned = service.get();
        if (!ApplicationOwnership::adopt(owned, [owned] { owned->cancelAll(); }))
            return;
        kept().store(service.release());
    }

protected:
    ApplicationInstance() = default;
    ~ApplicationInstance() = default;

    static void forgetShared(Service *service) { kept().compare_exchange_strong(service, nullptr); }

private:
    static std::atomic<Service *> &kept()
    {
        static std::atomic<Service *> service{nullptr};
        return service;
    }
};
