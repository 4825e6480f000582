#pragma once

#include "tests/app/StandinDockTiles.h"

#include <QProcess>

// The stand-in Dock under its keeper, for a test on a real X server, with a Dock that keeps no
// tiles: the only application tile is then the running program's. Stopped when this goes.
class EmptyStandinDock {
public:
    ~EmptyStandinDock() { stop(); }

    // Writes the Dock's preferences, grants this process Accessibility access, starts the keeper and
    // waits for its Dock; the reason when any of it failed, empty when the Dock is up.
    QString start(const QString &keeperProgram, int timeoutMilliseconds);
    void stop();

    StandinDockTiles tiles;

private:
    QProcess m_keeper;
};
