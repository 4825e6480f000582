#pragma once

#include "Tallyline/PurchaseTransaction.h"

#include <functional>
#include <memory>

// The store's stream of transaction updates (renewals, revocations, upgrades). On this machine the
// store has no transactions, so the default stream never delivers; hosts and tests install their own.
class TransactionUpdates
{
public:
    struct Update
    {
        // Only updates whose signature checks out are acted on.
        bool verified = false;
        PurchaseTransaction transaction;
    };
    using Handler = std::function<void(const Update &)>;

    // Watching ends when the observation is destroyed.
    class Observation
    {
    public:
        virtual ~Observation() = default;
    };

    virtual ~TransactionUpdates() = default;

    // `handler` may be called from any thread.
    virtual std::unique_ptr<Observation> observe(Handler handler) = 0;

    static std::shared_ptr<TransactionUpdates> current();
    // Null restores the stream without transactions.
    static void setCurrent(std::shared_ptr<TransactionUpdates> updates);
};
