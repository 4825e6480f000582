#include "Tallyline/SignalCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include "Platform/safewrite/SafeWrite.h"
#include <QStandardPaths>

using Level = LogHandler::LogLevel;

SignalCache::SignalCache(std::optional<LogHandler> logHandler, QString fileURL)
    : m_logHandler(std::move(logHandler))
    , m_fileURL(std::move(fileURL))
{
}

QString SignalCache::signalCacheFileURL()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/telemetrysignalcache");
}

void SignalCache::appendSignal(const SignalPostBody &signal)
{
    QMutexLocker lock(&m_mutex);
    m_cachedSignals.append(signal);
    trimLocked();
}

void SignalCache::appendSignals(const QList<SignalPostBody> &records)
{
    QMutexLocker lock(&m_mutex);
    m_cachedSignals.append(records);
    trimLocked();
}

void SignalCache::trimLocked()
{
    const qsizetype excess = m_cachedSignals.size() - maximumNumberOfSignalsKept;
    if (excess <= 0)
        return;
    m_cachedSignals.remove(0, excess);
    tallylineLog(m_logHandler, Level::error,
                 QStringLiteral("Dropped %1 oldest signals: the cache keeps at most %2").arg(excess).arg(maximumNumberOfSignalsKept));
}

QList<SignalPostBody> SignalCache::popSignalBatch()
{
    QMutexLocker lock(&m_mutex);
    const qsizetype count = qMin<qsizetype>(m_cachedSignals.size(), m_batchSize);
    QList<SignalPostBody> batch = m_cachedSignals.mid(0, count);
    m_cachedSignals.remove(0, count);
    return batch;
}

void SignalCache::halveBatchSize(int refusedCount)
{
    QMutexLocker lock(&m_mutex);
    m_batchSize = qMax(1, qMin(m_batchSize, (refusedCount + 1) / 2));
}

void SignalCache::batchDelivered()
{
    QMutexLocker lock(&m_mutex);
    m_batchSize = qMin(maximumNumberOfSignalsToPopAtOnce, m_batchSize * 2);
}

int SignalCache::batchSize() const
{
    QMutexLocker lock(&m_mutex);
    return m_batchSize;
}

int SignalCache::signalCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_cachedSignals.size());
}

bool SignalCache::writeSignalCacheFile()
{
    QMutexLocker lock(&m_mutex);
    // The file must stay under what the next start reads, or all of it is discarded then: with long
    // payloads the count cap is not enough, so the oldest records give way, newest kept.
    QList<QByteArray> encoded(m_cachedSignals.size());
    qint64 size = 2; // the brackets
    qsizetype first = m_cachedSignals.size();
    while (first > 0) {
        QByteArray record = QJsonDocument(m_cachedSignals.at(first - 1).toJson(SignalPostBody::DateEncoding::referenceSeconds))
                                .toJson(QJsonDocument::Compact);
        const qint64 grown = size + record.size() + (first < m_cachedSignals.size() ? 1 : 0);
        if (grown > maximumCacheFileSize)
            break;
        size = grown;
        encoded[--first] = std::move(record);
    }
    if (first > 0) {
        m_cachedSignals.remove(0, first);
        encoded.remove(0, first);
        tallylineLog(m_logHandler, Level::error,
                     QStringLiteral("Dropped %1 oldest signals: the cache file keeps at most %2 bytes").arg(first).arg(maximumCacheFileSize));
    }
    QByteArray data;
    data.reserve(size);
    data.append('[');
    data.append(encoded.join(','));
    data.append(']');

    if (SafeWrite::replaceFile(m_fileURL, data, SafeWrite::Folder::Make)) {
        tallylineLog(m_logHandler, Level::error, QStringLiteral("Error saving Telemetry cache"));
        return false;
    }
    tallylineLog(m_logHandler, Level::info,
                 QStringLiteral("Saved Telemetry cache %1 bytes of %2 signals").arg(data.size()).arg(m_cachedSignals.size()));
    m_cachedSignals.clear();
    return true;
}

void SignalCache::readSignalCacheFile()
{
    tallylineLog(m_logHandler, Level::info, QStringLiteral("Loading Telemetry cache from: ") + m_fileURL);
    // Opening a fifo would hang the start and a link to a device would never end: only a regular
    // file is read, and only as much of it as it holds.
    const QFileInfo info(m_fileURL);
    if (!info.exists() && !info.isSymLink())
        return;
    if (!info.isFile()) {
        QFile::remove(m_fileURL);
        tallylineLog(m_logHandler, Level::error, QStringLiteral("Discarded Telemetry cache: not a regular file"));
        return;
    }
    QFile file(m_fileURL);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const qint64 size = file.size();
    const QByteArray data = size > maximumCacheFileSize ? QByteArray() : file.read(size + 1);
    file.close();
    QFile::remove(m_fileURL);
    if (size > maximumCacheFileSize) {
        tallylineLog(m_logHandler, Level::error,
                     QStringLiteral("Discarded Telemetry cache: %1 bytes is more than %2").arg(size).arg(maximumCacheFileSize));
        return;
    }

    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isArray()) {
        tallylineLog(m_logHandler, Level::error, QStringLiteral("Discarded unreadable Telemetry cache"));
        return;
    }
    QList<SignalPostBody> restored;
    const QJsonArray array = document.array();
    for (const QJsonValue &value : array) {
        const auto record = value.isObject() ? SignalPostBody::fromCacheJson(value.toObject()) : std::nullopt;
        if (!record) {
            tallylineLog(m_logHandler, Level::error, QStringLiteral("Discarded unreadable Telemetry cache"));
            return;
        }
        restored.append(*record);
    }
    tallylineLog(m_logHandler, Level::info, QStringLiteral("Loaded %1 signals").arg(restored.size()));
    QMutexLocker lock(&m_mutex);
    m_cachedSignals = restored + m_cachedSignals;
    trimLocked();
}
