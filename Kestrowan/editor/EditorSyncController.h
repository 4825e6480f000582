#pragma once

#include "Kestrowan/editor/GroupSnapshot.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <optional>

class DockSyncPort;
class DraftChangeHandler;
class EditorDraft;
class UserDefaults;

// The editor's Dock side: whether the draft's tile shows it as it is, the sync on demand, the
// automatic sync three ticks after the last change (with "autoSyncEnabled" on and a tile in the
// Dock), revert, and what the status line and the bottom bar say about all that.
//
// One sync runs at a time: a request or a finished countdown while one runs waits for it, and
// runs afterwards when the draft still differs from what was synced. A successful sync marks as
// synced the value it synced, so edits made while it ran stay unsynced (and are synced next).
class EditorSyncController : public QObject {
    Q_OBJECT
public:
    static constexpr int countdownStart = 3;
    static constexpr int defaultTickMs = 1000;
    static constexpr int successMarkMs = 2500;
    static constexpr int failureMarkMs = 3000;
    static inline const QString autoSyncEnabledKey = QStringLiteral("autoSyncEnabled");
    static inline const QString autoRefreshDockLabelKey = QStringLiteral("autoRefreshDockLabel");

    enum class Status { None, Syncing, Failed, Synced, UpToDate };
    enum class Bar { None, UnsyncedChanges, NotInDock, OutOfDate };

    EditorSyncController(EditorDraft *draft, DraftChangeHandler *handler, DockSyncPort *dock, UserDefaults &defaults,
                         QObject *parent = nullptr);

    bool isSyncing() const { return m_isSyncing; }
    bool syncSuccess() const { return m_syncSuccess; }
    bool syncFailed() const { return m_syncFailed; }
    int countdownRemaining() const { return m_countdownRemaining; }
    bool isCountdownRunning() const { return m_timer.isActive(); }
    std::optional<GroupSnapshot> lastSyncedSnapshot() const { return m_lastSyncedSnapshot; }

    bool hasUnsyncedChanges() const;
    // Whether the Dock shows the draft as it is now (as last read).
    bool isDraftSynced() const { return m_draftSynced; }
    // Whether the group has a tile in the Dock at all, up to date or not (as last read).
    bool hasTileInDock() const { return m_hasTile; }

    Status status() const;
    Bar bar() const;
    // Text keys of the bar's chip and its sync button; whether it offers revert.
    QString barChipKey() const;
    QString barSyncButtonKey() const;
    bool barOffersRevert() const;

    void setTickInterval(int milliseconds) { m_timer.setInterval(milliseconds); }

    // The page is shown: is the tile up to date with the draft?
    void recordSyncedSnapshotOnAppear();
    // After every stored change of the draft: starts, restarts or cancels the countdown.
    void scheduleAutoSync();
    void cancelAutoSyncCountdown();
    void syncNow();
    // Back to what was last synced (or what the page opened with); the change is stored.
    void revertToOriginal();
    // The group is deleted: no countdown, nothing waiting, no later sync.
    void stop();
    // A running countdown ends in its sync at once (the page goes off the screen).
    void syncOwedNow();
    // The page is left: what the countdown or a running sync still owes is synced at once, then
    // nothing more.
    void leave();
    bool isStopped() const { return m_stopped; }

    // One firing of the countdown timer.
    void tick();

    // Reads the Dock's state of the draft again.
    void refreshDockState();

signals:
    // Anything the status line or the bar shows may have changed.
    void changed();
    // A sync was handed to the Dock (for tests and logs).
    void syncStarted(const AppGroup &group);
    void syncFinished(bool success);

private:
    void startSync();
    void onSyncBlockChanged();
    void finishSync(const AppGroup &synced, bool success);

    EditorDraft *m_draft;
    DraftChangeHandler *m_handler;
    QPointer<DockSyncPort> m_dock;
    UserDefaults &m_defaults;
    QTimer m_timer;
    bool m_isSyncing = false;
    bool m_syncSuccess = false;
    bool m_syncFailed = false;
    bool m_syncQueued = false;
    bool m_stopped = false;
    int m_countdownRemaining = 0;
    // Each mark is cleared by the wait that set it, unless a newer mark of its kind came since.
    quint64 m_successGeneration = 0;
    quint64 m_failureGeneration = 0;
    std::optional<GroupSnapshot> m_lastSyncedSnapshot;
    bool m_draftSynced = false;
    bool m_hasTile = false;
};
