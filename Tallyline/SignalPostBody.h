#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <optional>

class SignalHubConfiguration;

// One usage signal as cached and sent.
struct SignalPostBody
{
    QDateTime receivedAt;
    QString appID;
    QString clientUser;
    QString sessionID;
    QString type;
    std::optional<double> floatValue;
    QMap<QString, QString> payload;
    QString isTestMode;

    // On the wire `receivedAt` is text ("2026-12-06T17:41:00+0000"); in the cache file it is the
    // seconds since 2001-01-01 00:00:00 UTC, so the cache keeps fractions of a second.
    enum class DateEncoding { wireText, referenceSeconds };

    QJsonObject toJson(DateEncoding encoding) const;
    // Every key but "floatValue" is required; absent when anything is missing or of another type.
    static std::optional<SignalPostBody> fromCacheJson(const QJsonObject &object);

    // Signal parameters win over enrichers, enrichers over the default payload. A number that is not
    // finite cannot travel as JSON, so such a signal gives no record.
    static std::optional<SignalPostBody> build(const SignalHubConfiguration &configuration, const QString &type,
                                               const QMap<QString, QString> &parameters,
                                               std::optional<double> floatValue,
                                               const std::optional<QString> &customUserID,
                                               const QMap<QString, QString> &defaultPayload,
                                               const QString &defaultUser, const QDateTime &now);

    // For log lines: the type name and every field with its value.
    QString description() const;

    bool operator==(const SignalPostBody &other) const = default;
};
