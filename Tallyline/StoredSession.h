#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <optional>

// One session as the client stores it: when it began and how long it was active, in whole seconds.
struct StoredSession
{
    QDateTime startedAt;
    qint64 durationInSeconds = 0;

    // A compact JSON array of {"st": whole seconds since 1970, "dn": seconds}.
    static QByteArray encode(const QList<StoredSession> &sessions);
    // Absent when the data is not such an array; "st" may carry a fraction.
    static std::optional<QList<StoredSession>> decode(const QByteArray &data);

    bool operator==(const StoredSession &other) const = default;
};
