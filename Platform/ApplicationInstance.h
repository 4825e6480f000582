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

// The one instance of a service the whole program shares, owned by the application object: made
// on first use on the application's thread, its `cancelAll()` run as the application quits (ending
// every helper process it runs), deleted with the application. From another thread, nothing when
// none was made yet. The service calls forget(this) as it ends.
template <typename Service>
class ApplicationInstance {
public:
    Service *get()
    {
        if (Service *service = m_service.load())
            return service;
        if (!ApplicationOwnership::onApplicationThread())
            return nullptr;
        set(std::make_unique<Service>());
        return m_service.load();
    }

    // Replaces the instance (tests); nullptr ends the current one, and the next use makes the default.
    void set(std::unique_ptr<Service> service)
    {
        delete m_service.exchange(nullptr);
        if (!service)
            return;
        Service *owned = service.get();
        if (!ApplicationOwnership::adopt(owned, [owned] { owned->cancelAll(); }))
            return;
        m_service.store(service.release());
    }

    void forget(Service *service) { m_service.compare_exchange_strong(service, nullptr); }

private:
    std::atomic<Service *> m_service{nullptr};
};
