#include "Tallyline/SignalJSONEncoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QTimeZone>

QString SignalJSONEncoder::dateString(const QDateTime &date)
{
    return QLocale(QLocale::English, QLocale::UnitedStates)
               .toString(date.toTimeZone(QTimeZone::utc()), QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
           + QStringLiteral("+0000");
}

QByteArray SignalJSONEncoder::encode(const QList<SignalPostBody> &batch) const
{
    QJsonArray array;
    for (const SignalPostBody &record : batch)
        array.append(record.toJson(SignalPostBody::DateEncoding::wireText));
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}
