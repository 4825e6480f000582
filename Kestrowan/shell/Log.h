#pragma once

#include <QLoggingCategory>

// The program's four loggers, subsystem "com.kestrowan.app". Lifecycle messages go out at info level
// (qCInfo), failures at critical level (qCCritical).
Q_DECLARE_LOGGING_CATEGORY(appLogger)
Q_DECLARE_LOGGING_CATEGORY(dockLogger)
Q_DECLARE_LOGGING_CATEGORY(persistenceLogger)
Q_DECLARE_LOGGING_CATEGORY(interactionLogger)

// Values from outside go into log lines through `loggedText`, shared with the platform layer.
#include "Platform/logging/LoggedText.h"
