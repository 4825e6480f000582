#include "Tallyline/ApplicationActivity.h"

#include <QList>
#include <QMutex>

#include <memory>

namespace {

struct Observer
{
    int token;
    ApplicationActivity::Handler didResignActive;
    ApplicationActivity::Handler willBecomeActive;
};

QMutex observersMutex;
int nextToken = 1;
QList<std::shared_ptr<const Observer>> observers;

// Handlers run outside the lock: they take locks of their own.
QList<std::shared_ptr<const Observer>> currentObservers()
{
    QMutexLocker lock(&observersMutex);
    return observers;
}

} // namespace

int ApplicationActivity::addObserver(Handler didResignActive, Handler willBecomeActive)
{
    QMutexLocker lock(&observersMutex);
    const int token = nextToken++;
    observers.append(std::make_shared<const Observer>(Observer{token, std::move(didResignActive), std::move(willBecomeActive)}));
    return token;
}

void ApplicationActivity::removeObserver(int token)
{
    QMutexLocker lock(&observersMutex);
    observers.removeIf([token](const std::shared_ptr<const Observer> &observer) { return observer->token == token; });
}

void ApplicationActivity::postDidResignActive()
{
    for (const auto &observer : currentObservers()) {
        if (observer->didResignActive)
            observer->didResignActive();
    }
}

void ApplicationActivity::postWillBecomeActive()
{
    for (const auto &observer : currentObservers()) {
        if (observer->willBecomeActive)
            observer->willBecomeActive();
    }
}
