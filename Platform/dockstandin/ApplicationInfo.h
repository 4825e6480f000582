#pragma once

#include "Platform/dockstandin/DockTilesFile.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the Dock needs to know of an application: a freedesktop desktop entry (".desktop") or an
// application bundle (".app" with Contents/Info.plist).
struct ApplicationInfo {
    QString name;
    QString bundleIdentifier;
    QString icon; // a theme icon name or an absolute image path
    QString program;
    QStringList arguments;

    static std::optional<ApplicationInfo> fromPath(const QString &path);
};

// The arguments of a desktop entry's Exec value with its field codes removed; empty when the value
// cannot be split (an unclosed quote).
QStringList desktopExecArguments(const QString &exec);

// A few applications of this machine, for a Dock whose preferences keep none: a browser, a file
// manager, a terminal and an editor where there are such, then others by name.
QList<DockTileEntry> offeredApplications(int maximum = 4);
