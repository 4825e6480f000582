#include "Tallyline/SignalPostBody.h"

#include "Tallyline/Sha256Hex.h"
#include "Tallyline/SignalHubConfiguration.h"
#include "Tallyline/SignalJSONEncoder.h"

#include <QJsonValue>
#include <QStringList>
#include <QTimeZone>

#include <cmath>

namespace {

// 2001-01-01T00:00:00Z in seconds since 1970.
constexpr qint64 referenceDateOffsetSeconds = 978307200;

std::optional<QString> requiredString(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

} // namespace

QJsonObject SignalPostBody::toJson(DateEncoding encoding) const
{
    QJsonObject object;
    if (encoding == DateEncoding::wireText)
        object.insert(QStringLiteral("receivedAt"), SignalJSONEncoder::dateString(receivedAt));
    else
        object.insert(QStringLiteral("receivedAt"),
                      double(receivedAt.toMSecsSinceEpoch()) / 1000.0 - double(referenceDateOffsetSeconds));
    object.insert(QStringLiteral("appID"), appID);
    object.insert(QStringLiteral("clientUser"), clientUser);
    object.insert(QStringLiteral("sessionID"), sessionID);
    object.insert(QStringLiteral("type"), type);
    if (floatValue)
        object.insert(QStringLiteral("floatValue"), *floatValue);
    QJsonObject payloadObject;
    for (auto it = payload.cbegin(); it != payload.cend(); ++it)
        payloadObject.insert(it.key(), it.value());
    object.insert(QStringLiteral("payload"), payloadObject);
    object.insert(QStringLiteral("isTestMode"), isTestMode);
    return object;
}

std::optional<SignalPostBody> SignalPostBody::fromCacheJson(const QJsonObject &object)
{
    const QJsonValue received = object.value(QLatin1String("receivedAt"));
    const auto appID = requiredString(object, "appID");
    const auto clientUser = requiredString(object, "clientUser");
    const auto sessionID = requiredString(object, "sessionID");
    const auto type = requiredString(object, "type");
    const auto isTestMode = requiredString(object, "isTestMode");
    const QJsonValue payloadValue = object.value(QLatin1String("payload"));
    if (!received.isDouble() || !std::isfinite(received.toDouble()) || !appID || !clientUser || !sessionID
        || !type || !isTestMode || !payloadValue.isObject())
        return std::nullopt;

    SignalPostBody record;
    const double seconds = received.toDouble() + double(referenceDateOffsetSeconds);
    // Far outside any real clock: refuse rather than overflow the milliseconds.
    if (std::fabs(seconds) > 1.0e12)
        return std::nullopt;
    record.receivedAt = QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0)), QTimeZone::utc());
    record.appID = *appID;
    record.clientUser = *clientUser;
    record.sessionID = *sessionID;
    record.type = *type;
    record.isTestMode = *isTestMode;

    const QJsonValue floatValue = object.value(QLatin1String("floatValue"));
    if (floatValue.isDouble())
        record.floatValue = floatValue.toDouble();
    else if (!floatValue.isUndefined() && !floatValue.isNull())
        return std::nullopt;

    const QJsonObject payloadObject = payloadValue.toObject();
    for (auto it = payloadObject.constBegin(); it != payloadObject.constEnd(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        record.payload.insert(it.key(), it.value().toString());
    }
    return record;
}

std::optional<SignalPostBody> SignalPostBody::build(const SignalHubConfiguration &configuration, const QString &type,
                                                    const QMap<QString, QString> &parameters,
                                                    std::optional<double> floatValue,
                                                    const std::optional<QString> &customUserID,
                                                    const QMap<QString, QString> &defaultPayload,
                                                    const QString &defaultUser, const QDateTime &now)
{
    if (floatValue && !std::isfinite(*floatValue))
        return std::nullopt;

    QMap<QString, QString> enrichment;
    for (const auto &enricher : configuration.metadataEnrichers()) {
        if (!enricher)
            continue;
        const QMap<QString, QString> entries = enricher->enrich(type, customUserID, floatValue);
        for (auto it = entries.cbegin(); it != entries.cend(); ++it)
            enrichment.insert(it.key(), it.value());
    }

    SignalPostBody record;
    record.payload = defaultPayload;
    for (auto it = enrichment.cbegin(); it != enrichment.cend(); ++it)
        record.payload.insert(it.key(), it.value());
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        record.payload.insert(it.key(), it.value());

    record.receivedAt = now;
    record.appID = configuration.telemetryAppID();
    record.clientUser = sha256Hex(customUserID.value_or(defaultUser), configuration.salt());
    record.sessionID = configuration.sessionID().toString(QUuid::WithoutBraces).toUpper();
    record.type = type;
    record.floatValue = floatValue;
    record.isTestMode = configuration.testMode() ? QStringLiteral("true") : QStringLiteral("false");
    return record;
}

QString SignalPostBody::description() const
{
    QStringList entries;
    for (auto it = payload.cbegin(); it != payload.cend(); ++it)
        entries.append(QStringLiteral("\"%1\": \"%2\"").arg(it.key(), it.value()));
    return QStringLiteral("SignalPostBody(receivedAt: %1, appID: \"%2\", clientUser: \"%3\", sessionID: \"%4\", "
                          "type: \"%5\", floatValue: %6, payload: [%7], isTestMode: \"%8\")")
        .arg(SignalJSONEncoder::dateString(receivedAt), appID, clientUser, sessionID, type,
             floatValue ? QString::number(*floatValue, 'g', QLocale::FloatingPointShortest) : QStringLiteral("nil"),
             entries.join(QStringLiteral(", ")), isTestMode);
}
