#include "Kestrowan/shell/Log.h"

// Each category is a function-local static: made on first use, once, whichever thread gets there first.
Q_LOGGING_CATEGORY(appLogger, "com.kestrowan.app.app", QtInfoMsg)
Q_LOGGING_CATEGORY(dockLogger, "com.kestrowan.app.dock", QtInfoMsg)
Q_LOGGING_CATEGORY(persistenceLogger, "com.kestrowan.app.persistence", QtInfoMsg)
Q_LOGGING_CATEGORY(interactionLogger, "com.kestrowan.app.interaction", QtInfoMsg)

