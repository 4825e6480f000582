#pragma once

#include "Platform/dockstandin/ApplicationInfo.h"
#include "Platform/dockstandin/DockTilesFile.h"

#include <optional>

// Opens what a clicked tile stands for, detached from the Dock, with arguments as a list (never
// through a shell). When $KESTROWAN_DOCK_OPEN_LOG names a file, the path of the tile is appended to
// it instead and nothing is started, so that tests can see what a click did.
class DockOpener {
public:
    static void open(const DockTileEntry &entry, const std::optional<ApplicationInfo> &application);
};
