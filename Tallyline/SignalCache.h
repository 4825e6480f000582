#pragma once

#include "Tallyline/LogHandler.h"
#include "Tallyline/SignalPostBody.h"

#include <QList>
#include <QMutex>
#include <QString>

#include <optional>

// The pending records, oldest first, shared between the thread that builds records, the sender and
// the quit handler; every access is under one lock. The list is bounded: past
// `maximumNumberOfSignalsKept` the oldest records are dropped, so a service that is down for weeks
// cannot grow it without end.
class SignalCache
{
public:
    static constexpr int maximumNumberOfSignalsToPopAtOnce = 100;
    static constexpr int maximumNumberOfSignalsKept = 5000;
    static constexpr qint64 maximumCacheFileSize = 32 * 1024 * 1024;

    explicit SignalCache(std::optional<LogHandler> logHandler, QString fileURL = signalCacheFileURL());

    void appendSignal(const SignalPostBody &signal);
    void appendSignals(const QList<SignalPostBody> &records);
    // At most the batch size (`maximumNumberOfSignalsToPopAtOnce`, less after a refusal for size)
    // records, oldest first, removed from the list.
    QList<SignalPostBody> popSignalBatch();
    // A batch of `refusedCount` records was too large for the service: later batches take half as
    // many, until deliveries let the size grow back.
    void halveBatchSize(int refusedCount);
    void batchDelivered();
    int batchSize() const;
    int signalCount() const;

    // Writes the whole list to the backup file (atomically) and empties it; a failure keeps the list.
    bool writeSignalCacheFile();
    // Reads, deletes and restores the backup file; its records go before any already pending.
    void readSignalCacheFile();

    QString fileURL() const { return m_fileURL; }
    // "telemetrysignalcache" in the user's cache folder.
    static QString signalCacheFileURL();

private:
    void trimLocked();

    std::optional<LogHandler> m_logHandler;
    QString m_fileURL;
    mutable QMutex m_mutex;
    QList<SignalPostBody> m_cachedSignals;
    int m_batchSize = maximumNumberOfSignalsToPopAtOnce;
};
