#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QObject>
#include <functional>
#include <memory>

class GroupManager;
class SkinManager;

// What the editor asks of the group store about a group's Dock tile: whether the tile shows the
// group as it is, whether the group has a tile at all, a sync, and the store's process-wide block.
class DockSyncPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The tile is there and was last synced with exactly this content.
    virtual bool isSynced(const AppGroup &group) const = 0;
    // The group's mirror folder exists and a Dock tile points at it, whatever it was synced with.
    virtual bool hasTileInDock(const AppGroup &group) const = 0;
    // Calls `completion` once, later, on the main thread, with whether the tile was written.
    virtual void sync(const AppGroup &group, bool refreshLabel, std::function<void(bool)> completion) = 0;
    virtual bool isSyncBlocked() const = 0;
    // Lifts the block (and announces it) before a sync the user asked for.
    virtual void clearSyncBlock() = 0;

signals:
    void syncBlockChanged();
};

// The port on the program's group store and Dock service.
std::unique_ptr<DockSyncPort> makeStoreDockSync(GroupManager *groupManager, SkinManager *skinManager);
