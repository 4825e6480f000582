#include "Kestrowan/groups/PathComponents.h"

QString lastPathComponent(const QString &path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == u'/')
        --end;
    const QString trimmed = path.left(end);
    if (trimmed == QStringLiteral("/"))
        return trimmed;
    return trimmed.mid(trimmed.lastIndexOf(u'/') + 1);
}

QString pathExtension(const QString &path)
{
    const QString component = lastPathComponent(path);
    const qsizetype dot = component.lastIndexOf(u'.');
    // A name that begins with its only dot (".config") is hidden, not of a type.
    return dot <= 0 ? QString() : component.mid(dot + 1);
}

QString lastPathComponentWithoutExtension(const QString &path)
{
    const QString component = lastPathComponent(path);
    const qsizetype dot = component.lastIndexOf(u'.');
    return dot <= 0 ? component : component.left(dot);
}
