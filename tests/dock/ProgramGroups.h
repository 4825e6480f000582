#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

// The groups a test gives the program before it starts, in the test's home.
namespace ProgramGroups {

// A group named `name` of one note, "<name> notes", a file under ~/Documents.
inline AppGroup ofOneNote(const QString &home, const QString &name)
{
    AppGroup group;
    group.id = QUuid::createUuid();
    group.name = name;
    const QString note = home + QStringLiteral("/Documents/") + name + QStringLiteral(".txt");
    QDir().mkpath(QFileInfo(note).path());
    QFile(note).open(QIODevice::WriteOnly);
    group.apps = {AppItem{QUuid::createUuid(), QStringLiteral("file:") + note, name + QStringLiteral(" notes"), note}};
    return group;
}

// Stores the groups where the program reads them at its start.
inline bool write(const QString &home, const QList<AppGroup> &groups)
{
    const QString storage = home + QStringLiteral("/.local/share/Kestrowan");
    QDir().mkpath(storage);
    QFile file(storage + QStringLiteral("/groups.json"));
    return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(AppGroup::listToJson(groups)).toJson()) > 0;
}

// The groups "Work" and "Play", of one note each, stored; none when they could not be stored.
inline QList<AppGroup> writeWorkAndPlay(const QString &home)
{
    const QList<AppGroup> groups{ofOneNote(home, QStringLiteral("Work")), ofOneNote(home, QStringLiteral("Play"))};
    return write(home, groups) ? groups : QList<AppGroup>{};
}

} // namespace ProgramGroups
