#include "Tallyline/StoredSession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <cmath>
#include <limits>

namespace {

bool isWholeNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    return std::isfinite(number) && std::trunc(number) == number;
}

} // namespace

QByteArray StoredSession::encode(const QList<StoredSession> &sessions)
{
    QJsonArray array;
    for (const StoredSession &session : sessions) {
        QJsonObject object;
        // Integer division drops the fraction toward zero, before and after 1970 alike.
        object.insert(QStringLiteral("st"), session.startedAt.toMSecsSinceEpoch() / 1000);
        object.insert(QStringLiteral("dn"), session.durationInSeconds);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<StoredSession>> StoredSession::decode(const QByteArray &data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<StoredSession> sessions;
    for (const QJsonValue &entry : document.array()) {
        const QJsonObject object = entry.toObject();
        const QJsonValue st = object.value(QStringLiteral("st"));
        const QJsonValue dn = object.value(QStringLiteral("dn"));
        if (!entry.isObject() || !st.isDouble() || !std::isfinite(st.toDouble()) || !isWholeNumber(dn))
            return std::nullopt;
        // Far outside any real session time; a date this large cannot be formed.
        if (std::abs(st.toDouble()) > 1e13)
            return std::nullopt;
        const qint64 msecs = qint64(std::llround(st.toDouble() * 1000.0));
        sessions.append(StoredSession{QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc()), dn.toInteger()});
    }
    return sessions;
}
