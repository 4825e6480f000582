#include "Tallyline/TransactionUpdates.h"

#include <QMutex>

namespace {

class NoTransactionUpdates final : public TransactionUpdates
{
public:
    std::unique_ptr<Observation> observe(Handler) override { return std::make_unique<Observation>(); }
};

QMutex updatesMutex;
std::shared_ptr<TransactionUpdates> installedUpdates;

} // namespace

std::shared_ptr<TransactionUpdates> TransactionUpdates::current()
{
    QMutexLocker lock(&updatesMutex);
    if (!installedUpdates)
        installedUpdates = std::make_shared<NoTransactionUpdates>();
    return installedUpdates;
}

void TransactionUpdates::setCurrent(std::shared_ptr<TransactionUpdates> updates)
{
    QMutexLocker lock(&updatesMutex);
    installedUpdates = std::move(updates);
}
