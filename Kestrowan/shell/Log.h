#pragma once

#include <QLoggingCategory>

// The program's four loggers, subsystem "com.kestrowan.app". Lifecycle messages go out at info level
// (qCInfo), failures at critical level (qCCritical).
Q_DECLARE_LOGGING_CATEGORY(appLogger)
Q_DECLARE_LOGGING_CATEGORY(dockLogger)
Q_DECLARE_LOGGING_CATEGORY(persistenceLogger)
Q_DECLARE_LOGGING_CATEGORY(interactionLogger)

#include <QString>

// Text from outside the program (a link, a path, a name typed or dropped) as a log line holds it:
// at most `loggedTextLimit` characters, a longer text cut with its length noted, and control
// characters shown as "?" so that a value cannot start a line of its own.
inline constexpr qsizetype loggedTextLimit = 300;
QString loggedText(const QString &text);
