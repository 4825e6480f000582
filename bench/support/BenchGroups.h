#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/groups/GroupManager.h"

#include <QDir>
#include <QFile>
#include <QUuid>

// A new group named `name` whose mirror folder, of the same name, stands in the store's groups
// folder and names the group as its own.
inline AppGroup benchGroupWithMirrorFolder(const GroupManager &manager, const QString &name)
{
    AppGroup group;
    group.id = QUuid::createUuid();
    group.name = name;
    const QString folder = manager.groupsDirectory() + u'/' + name;
    QDir().mkpath(folder);
    QFile id(folder + QStringLiteral("/.group_id"));
    if (id.open(QIODevice::WriteOnly))
        id.write(group.id.toString(QUuid::WithoutBraces).toUpper().toUtf8());
    return group;
}
