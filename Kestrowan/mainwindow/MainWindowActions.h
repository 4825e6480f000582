#pragma once

#include "Kestrowan/shell/AppToast.h"
#include "Kestrowan/groups/AppGroup.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QUuid>

#include <optional>

class DroppedItemKeeper;
class GroupManager;
class SkinManager;

// What the main window does to the groups, apart from its widgets. Every edit names its group by
// id and looks it up afresh when it is made, so an edit meant for a group that was deleted
// meanwhile changes nothing, and never another group that took its place in the list. Every edit
// is saved at once.
class MainWindowActions final : public QObject {
    Q_OBJECT
public:
    MainWindowActions(GroupManager &store, SkinManager *skinManager, QObject *parent = nullptr);

    std::optional<AppGroup> group(const QUuid &groupID) const;

    // Turns the URL into an item and appends it unless the group holds an item with the same
    // bundle identifier or path. True when it was added.
    bool addURLToGroup(const QUrl &url, const QUuid &groupID);
    // Each URL in order, so two that lead to the same target are added once. The number added; a
    // file from a temporary folder is added later, once its copy is kept (as a dropped one is).
    int addURLsToGroup(const QList<QUrl> &urls, const QUuid &groupID);
    DroppedItemKeeper &keeper() const { return *m_keeper; }
    // A picker's commit: the group's whole item list. False when the group is gone.
    bool replaceGroupApps(const QUuid &groupID, const QList<AppItem> &apps);

    // Removes the group with its Dock tile and mirror folder; nothing when it is gone.
    void deleteGroup(const QUuid &groupID);

    // Places every group in the Dock; `syncAllFinished` tells how it went. Each call is a run of
    // its own.
    void syncAll();
    // Whether a sync of all groups is under way.
    bool isSyncingAll() const { return m_runningSyncs > 0; }

signals:
    // While a sync of all groups runs: `done` of `total` folders are built.
    void syncAllProgress(int done, int total);
    // `synced` false when a group could not be placed or the Dock refused the tiles; `message` is
    // then the text to show.
    void syncAllFinished(bool synced, const QString &message);
    // What the user should read about a kept copy (its progress, a refusal), or none to clear it.
    void notice(const std::optional<AppToast> &toast);

private:
    GroupManager &m_store;
    QPointer<SkinManager> m_skinManager;
    int m_runningSyncs = 0;
    DroppedItemKeeper *m_keeper;
};
