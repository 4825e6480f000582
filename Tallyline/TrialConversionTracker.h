#pragma once

#include "Tallyline/SerialQueue.h"
#include "Tallyline/TransactionUpdates.h"

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <memory>
#include <optional>

// Watches a free trial that the purchase signal reported until it becomes a paid subscription, and
// then reports the conversion once. The trial is remembered in the client's defaults suite, so the
// watch goes on after a restart; revocation, expiry or an upgrade end it without a signal.
class TrialConversionTracker final
{
public:
    struct StoredTrial
    {
        QString productID;
        quint64 originalTransactionID = 0;

        QByteArray toJson() const;
        // Absent for anything but an object with both members of the right type.
        static std::optional<StoredTrial> fromJson(const QByteArray &data);
        bool operator==(const StoredTrial &other) const = default;
    };

    // Starts watching at once when a trial is remembered.
    TrialConversionTracker();
    ~TrialConversionTracker();

    TrialConversionTracker(const TrialConversionTracker &) = delete;
    TrialConversionTracker &operator=(const TrialConversionTracker &) = delete;

    // Made on first use and kept for the life of the process.
    static TrialConversionTracker &shared();
    // Makes the shared tracker, and so resumes the watch, when the suite remembers a trial.
    static void resumeRememberedTrial();

    // Remembers the trial (nothing forgets it), asynchronously.
    void storeTrial(const std::optional<StoredTrial> &trial);
    // Replaces any running watch.
    void startObservingTransactions();
    bool isObserving() const;

    static std::optional<StoredTrial> loadStoredTrial();
    static void writeStoredTrial(const std::optional<StoredTrial> &trial);

    // Waits until the writes and the updates handed over so far have been dealt with.
    bool waitForPersistence(int msecs);

private:
    void handleTransactionUpdate(const TransactionUpdates::Update &update);
    void endTrial();

    SerialQueue m_persistenceQueue;
    mutable QMutex m_taskMutex;
    std::unique_ptr<TransactionUpdates::Observation> m_transactionUpdateTask;
};
