#pragma once

#include <QString>

#include <functional>
#include <optional>

// Where the usage-signal client's messages go. A message reaches `handler` only when its level is at
// least `logLevel`; the handler may be called from any thread at once.
struct LogHandler
{
    enum class LogLevel : int { debug = 0, info = 1, error = 2 };

    LogLevel logLevel = LogLevel::info;
    std::function<void(LogLevel, const QString &)> handler;

    LogHandler(LogLevel level, std::function<void(LogLevel, const QString &)> fn)
        : logLevel(level), handler(std::move(fn)) {}

    // The system log under "Tallyline.LogHandler".
    static LogHandler standard(LogLevel level);

    static std::optional<LogLevel> levelFromRawValue(int rawValue);
    static QString description(LogLevel level);

    void log(LogLevel level, const QString &message) const;
};

// Delivers `message` through an optional handler; absent means silent.
void tallylineLog(const std::optional<LogHandler> &handler, LogHandler::LogLevel level, const QString &message);
