#pragma once

#include "Kestrowan/editor/DockSyncPort.h"
#include "Kestrowan/groups/AppGroup.h"

#include <QList>
#include <QPair>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class GroupManager;

// The group store's Dock side as the test sets it: whether a tile is there and up to date, the
// block, and syncs that wait until the test finishes them.
class FakeDockSync final : public DockSyncPort {
public:
    bool tile = false;
    bool blocked = false;
    // Groups the Dock shows exactly (what a successful sync records).
    QList<AppGroup> syncedContents;
    QList<AppGroup> requests;
    QList<std::function<void(bool)>> pending;
    int running = 0;
    int mostAtOnce = 0;
    int blockClears = 0;

    bool isSynced(const AppGroup &group) const override;
    bool hasTileInDock(const AppGroup &) const override { return tile; }
    void sync(const AppGroup &group, bool refreshLabel, std::function<void(bool)> completion) override;
    bool isSyncBlocked() const override { return blocked; }
    void clearSyncBlock() override;
    void setBlocked(bool value);
    // Answers the oldest sync still running.
    void finish(bool success);
};

struct SentSignals {
    QList<QPair<QString, QMap<QString, QString>>> list;
    std::function<void(const QString &, const QMap<QString, QString> &)> sender();
    int count(const QString &name) const;
};

AppItem fileItem(const QString &path, const QString &name = QString());
AppItem appItem(const QString &bundleIdentifier, const QString &name);
AppGroup makeEditorGroup(const QString &name, const QList<AppItem> &apps = {});
std::unique_ptr<GroupManager> makeEditorStore(const QTemporaryDir &dir);
// The groups as "groups.json" holds them once every save is through.
QList<AppGroup> storedGroups(GroupManager &store);
// The text tables and symbols from the source tree.
void useSourceResources();
