#pragma once

#include "Tallyline/SignalPostBody.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// The wire encoding of signal batches: dates as "yyyy-MM-dd'T'HH:mm:ssZ" in UTC, whole seconds.
class SignalJSONEncoder
{
public:
    static QString dateString(const QDateTime &date);
    // One compact JSON array, oldest first.
    QByteArray encode(const QList<SignalPostBody> &batch) const;
};
