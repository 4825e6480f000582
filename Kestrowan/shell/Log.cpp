#include "Kestrowan/shell/Log.h"

// Each category is a function-local static: made on first use, once, whichever thread gets there first.
Q_LOGGING_CATEGORY(appLogger, "com.kestrowan.app.app", QtInfoMsg)
Q_LOGGING_CATEGORY(dockLogger, "com.kestrowan.app.dock", QtInfoMsg)
Q_LOGGING_CATEGORY(persistenceLogger, "com.kestrowan.app.persistence", QtInfoMsg)
Q_LOGGING_CATEGORY(interactionLogger, "com.kestrowan.app.interaction", QtInfoMsg)

QString loggedText(const QString &text)
{
    QString shown = text.size() > loggedTextLimit ? text.left(loggedTextLimit) : text;
    for (QChar &c : shown) {
        if (c.category() == QChar::Other_Control)
            c = u'?';
    }
    if (text.size() > loggedTextLimit)
        shown += QStringLiteral("… (%1 characters)").arg(text.size());
    return shown;
}
