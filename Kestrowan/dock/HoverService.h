#pragma once

#include "Kestrowan/dock/DockItemInfo.h"
#include "Kestrowan/dock/DockSelectionObserver.h"
#include "Kestrowan/dock/EventInterceptor.h"
#include "Kestrowan/dock/HoverServiceInterface.h"
#include "Kestrowan/dock/MouseTracker.h"
#include "Kestrowan/groups/AppGroup.h"
#include "Platform/FileStamp.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class GroupManager;
class KeyboardShortcutServiceInterface;
class PermissionManagerInterface;
class PopupPresenter;
class ShortcutStateStoreInterface;

// Where the Dock meets the popup. It decides which Dock watchers run (all three for hovering, the
// click interceptor alone for clicking, none for the Dock's own behaviour), maps Dock tiles to
// groups through an index of the groups' mirror folders in the Dock, restarts the watchers when
// the Dock's process changes, and shows and hides the popup on hovers, clicks, selection changes
// and hot keys.
class HoverService final : public HoverServiceInterface {
    Q_OBJECT
public:
    using InteractionMode = ::InteractionMode;

    static constexpr double hoverSelfClickIgnoreInterval = 1.0;
    static constexpr double hoverDismissDelay = 0.18;
    static constexpr int watchdogIntervalMilliseconds = 2000;
    static constexpr int mouseExitCheckMilliseconds = 80;

    HoverService(GroupManager *groupManager, PermissionManagerInterface *permissionManager,
                 ShortcutStateStoreInterface *shortcutStateStore, KeyboardShortcutServiceInterface *keyboardShortcutService,
                 std::unique_ptr<PopupPresenter> popupController, QObject *parent = nullptr);
    ~HoverService() override;

    MouseTracker &mouseTracker() { return m_mouseTracker; }
    DockSelectionObserver &dockSelectionObserver() { return m_dockSelectionObserver; }
    EventInterceptor &eventInterceptor() { return m_eventInterceptor; }
    PopupPresenter &popupController() { return *m_popupController; }

    InteractionMode mode() const override { return m_mode; }
    // Stores the mode without applying it.
    void setStoredMode(InteractionMode mode);
    bool isActive() const { return m_isActive; }

    void setMode(InteractionMode mode) override;
    void stopHoverTracking(bool resetMode) override;
    void refreshTracking() override;
    std::optional<AppGroup> groupForDockItem(const DockItemInfo &item) const;
    // `anchor` in the bottom-left-origin space.
    void showPopupForGroup(const AppGroup &group, const QRectF &anchor) override;

    const QHash<QString, AppGroup> &pathToGroup() const { return m_pathToGroup; }
    const QHash<QString, AppGroup> &nameToGroup() const { return m_nameToGroup; }
    const QSet<QString> &ambiguousNames() const { return m_ambiguousNames; }
    const QSet<QString> &trackedNames() const { return m_trackedNames; }
    std::optional<QUuid> currentPopupGroupID() const { return m_currentPopupGroupID; }
    std::optional<QDateTime> popupPresentedAt() const { return m_popupPresentedAt; }
    std::optional<qint64> lastDockPID() const { return m_lastDockPID; }
    bool isWatchdogRunning() const { return m_watchdogTimer.isActive(); }
    bool isDismissPending() const { return m_pendingDismissTimer.isActive(); }

    // The roads, as the watchers and the popup call them.
    void handleHoverDockItem(const DockItemInfo &item);
    void handleLeaveDockItem();
    void handleClickDockItem(const DockItemInfo &item);
    void onDockSelectionChanged(const std::optional<DockItemInfo> &item);
    void onPopupRenameGroup(const QUuid &groupID, const QString &name);
    void checkDockProcess();

    // Where "now" comes from; tests move it.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

signals:
    void isActiveChanged();

private:
    void wireComponents();
    // With `reuseFolders`, the groups' folders in the Dock found by the last rebuild are taken again
    // unless the groups folder or the Dock's tiles changed since.
    void rebuildGroupIndex(bool reuseFolders = false);
    // The path and name of the group's mirror folder when it stands in the Dock.
    std::optional<std::pair<QString, QString>> folderInDock(const AppGroup &group);
    void registerGroupName(const QString &name, const AppGroup &group);
    // Checks access and rebuilds the index; false (with everything stopped) when nothing is to be
    // tracked.
    bool prepareTracking(bool reuseFolders = false);
    void startHoverTracking();
    void startDockWatchdog();
    // Whether every watcher of the mode has what it watches with (a tap, an observer).
    bool componentsRunning() const;
    void stopDockWatchdog();
    void setActive(bool active);
    void closePopup();
    // The popup just shown belongs to this Dock tile: leaving the tile is what closes it, also when
    // the watchers are started afresh while it shows.
    void notePopupTile(const DockItemInfo &tile);
    void installMouseExitObserver();
    void removeMouseExitObserver();
    void mouseExited();
    // Closes the popup once the pointer is neither on the popup's tile, nor on the panel or in the
    // room around it, nor (while the popup is new) anywhere; keeps looking while it rests beside,
    // and for a popup a hovered tile opened, wherever it rests.
    void lookForLeave();
    void dismissTimerFired();
    std::optional<std::pair<AppGroup, DockItemInfo>> hoverTargetUnderPointer() const;
    bool isPointerInsidePopup() const;
    bool isPointerOverPanel() const;
    QSet<QString> trackedPaths() const;

    GroupManager *m_groupManager;
    PermissionManagerInterface *m_permissionManager;
    MouseTracker m_mouseTracker;
    DockSelectionObserver m_dockSelectionObserver;
    EventInterceptor m_eventInterceptor;
    std::unique_ptr<PopupPresenter> m_popupController;

    // What the folder half of the index was found from: finding each group's mirror folder stats
    // every folder, and a change of a name (each key typed into it) changes neither the folders nor
    // the Dock. Which folder belongs to a group changes only with the entries of the groups folder
    // (made, removed or renamed by a sync, a deletion or the user) or with the Dock's tiles; a
    // ".group_id" rewritten inside a folder that stays is seen at the next full rebuild (a mode
    // applied, a Dock restarted, a groups folder changed).
    struct FoldersInDock {
        FileStamp groupsFolder;
        qint64 takenNanoseconds = 0;
        QVariant dockTiles;
        // By group: the standardized path and the name of its mirror folder standing in the Dock,
        // or none.
        QHash<QUuid, std::optional<std::pair<QString, QString>>> folders;
    };
    std::optional<FoldersInDock> m_foldersInDock;

    bool m_isActive = false;
    QHash<QString, AppGroup> m_pathToGroup;
    QHash<QString, AppGroup> m_nameToGroup;
    QSet<QString> m_ambiguousNames;
    QSet<QString> m_trackedNames;
    InteractionMode m_mode = InteractionMode::None;
    std::optional<qint64> m_lastDockPID;
    // The last Dock process seen running; never forgotten while none runs.
    std::optional<qint64> m_knownDockPID;
    QTimer m_watchdogTimer;
    std::optional<QUuid> m_currentPopupGroupID;
    std::optional<QDateTime> m_popupPresentedAt;
    std::optional<DockItemInfo> m_popupTile;
    QTimer m_pendingDismissTimer;
    QTimer m_leaveLookTimer;
    bool m_mouseExitObserverInstalled = false;
    std::function<QDateTime()> m_clock = [] { return QDateTime::currentDateTimeUtc(); };
};
