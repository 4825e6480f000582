#include "Tallyline/LogHandler.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(tallylineLogHandler, "Tallyline.LogHandler")

LogHandler LogHandler::standard(LogLevel level)
{
    return LogHandler(level, [](LogLevel messageLevel, const QString &message) {
        switch (messageLevel) {
        case LogLevel::debug:
            qCDebug(tallylineLogHandler, "%s", qUtf8Printable(message));
            break;
        case LogLevel::info:
            qCInfo(tallylineLogHandler, "%s", qUtf8Printable(message));
            break;
        case LogLevel::error:
            qCCritical(tallylineLogHandler, "%s", qUtf8Printable(message));
            break;
        }
    });
}

std::optional<LogHandler::LogLevel> LogHandler::levelFromRawValue(int rawValue)
{
    if (rawValue < 0 || rawValue > 2)
        return std::nullopt;
    return static_cast<LogLevel>(rawValue);
}

QString LogHandler::description(LogLevel level)
{
    switch (level) {
    case LogLevel::debug:
        return QStringLiteral("DEBUG");
    case LogLevel::info:
        return QStringLiteral("INFO");
    case LogLevel::error:
        return QStringLiteral("ERROR");
    }
    return {};
}

void LogHandler::log(LogLevel level, const QString &message) const
{
    if (handler && static_cast<int>(level) >= static_cast<int>(logLevel))
        handler(level, message);
}

void tallylineLog(const std::optional<LogHandler> &handler, LogHandler::LogLevel level, const QString &message)
{
    if (handler)
        handler->log(level, message);
}
