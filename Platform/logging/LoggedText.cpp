#include "Platform/logging/LoggedText.h"

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
