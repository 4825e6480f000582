#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QTimeZone>

#include <optional>

class DefaultsSuite;
class SignalPlatform;
class SessionStatisticsSource;

// The parameters every signal starts from: app, device, run context, user preferences, calendar,
// client and retention. Computed afresh for every signal on the main thread.
class DefaultSignalPayload
{
public:
    static QMap<QString, QString> parameters();
    // The same from explicit sources; `suite` and `sessions` may be null.
    static QMap<QString, QString> parameters(const SignalPlatform &platform, const DefaultsSuite *suite,
                                             const SessionStatisticsSource *sessions);

    // "UTC", a sign and the whole hours; minutes as ":%02d" only when the offset has any.
    static QString timeZoneText(int offsetSeconds);
    // The shortest text of a double that still has a fractional digit ("1440.0", "1.5").
    static QString decimalText(double value);
};
