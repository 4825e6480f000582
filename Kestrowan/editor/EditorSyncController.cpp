#include "Kestrowan/editor/EditorSyncController.h"

#include "Kestrowan/editor/DockSyncPort.h"
#include "Kestrowan/editor/DraftChangeHandler.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/UserDefaults.h"

#include <utility>

EditorSyncController::EditorSyncController(EditorDraft *draft, DraftChangeHandler *handler, DockSyncPort *dock,
                                           UserDefaults &defaults, QObject *parent)
    : QObject(parent), m_draft(draft), m_handler(handler), m_dock(dock), m_defaults(defaults)
{
    m_timer.setInterval(defaultTickMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &EditorSyncController::tick);
    if (dock)
        connect(dock, &DockSyncPort::syncBlockChanged, this, &EditorSyncController::onSyncBlockChanged);
    // Outside a reorder every change comes through scheduleAutoSync, which reads the Dock first.
    connect(draft, &EditorDraft::draftChanged, this, [this] {
        if (m_draft->isReordering() || m_stopped)
            refreshDockState();
    });
    // The order made in the reorder mode is not confirmed until Done: a countdown started before
    // must not sync it. The end of the mode stores the draft and schedules the countdown afresh.
    connect(draft, &EditorDraft::reorderingChanged, this, [this](bool reordering) {
        if (reordering)
            cancelAutoSyncCountdown();
    });
    refreshDockState();
}

bool EditorSyncController::hasUnsyncedChanges() const
{
    if (m_lastSyncedSnapshot)
        return GroupSnapshot::of(m_draft->draft()) != *m_lastSyncedSnapshot;
    return m_draft->draft() != m_handler->originalDraft();
}

void EditorSyncController::refreshDockState()
{
    const bool synced = m_dock && m_dock->isSynced(m_draft->draft());
    const bool tile = synced || (m_dock && m_dock->hasTileInDock(m_draft->draft()));
    m_draftSynced = synced;
    m_hasTile = tile;
    emit changed();
}

EditorSyncController::Status EditorSyncController::status() const
{
    if (m_isSyncing)
        return Status::Syncing;
    if (m_syncFailed)
        return Status::Failed;
    if (m_syncSuccess)
        return Status::Synced;
    if (m_draftSynced && !hasUnsyncedChanges())
        return Status::UpToDate;
    return Status::None;
}

EditorSyncController::Bar EditorSyncController::bar() const
{
    // While a sync runs the status line says so; the bar has nothing to offer until it ends
    // (another sync or a revert would race the one under way).
    if (m_isSyncing)
        return Bar::None;
    const bool hasItems = !m_draft->draft().apps.isEmpty();
    if (hasItems && hasUnsyncedChanges())
        return Bar::UnsyncedChanges;
    if (hasItems && !m_draftSynced && !m_isSyncing && !m_syncSuccess)
        return m_hasTile ? Bar::OutOfDate : Bar::NotInDock;
    return Bar::None;
}

QString EditorSyncController::barChipKey() const
{
    switch (bar()) {
    case Bar::UnsyncedChanges:
        return QStringLiteral("editor.unsyncedChanges");
    case Bar::NotInDock:
        return QStringLiteral("editor.notInDock");
    case Bar::OutOfDate:
        return QStringLiteral("editor.dockOutOfDate");
    case Bar::None:
        break;
    }
    return {};
}

QString EditorSyncController::barSyncButtonKey() const
{
    return m_hasTile ? QStringLiteral("editor.syncUpdate") : QStringLiteral("editor.addToDock");
}

bool EditorSyncController::barOffersRevert() const
{
    return bar() == Bar::UnsyncedChanges && m_hasTile && !isCountdownRunning();
}

void EditorSyncController::recordSyncedSnapshotOnAppear()
{
    refreshDockState();
    if (m_draftSynced)
        m_lastSyncedSnapshot = GroupSnapshot::of(m_draft->draft());
    else
        m_lastSyncedSnapshot.reset();
    emit changed();
}

void EditorSyncController::scheduleAutoSync()
{
    if (m_stopped)
        return;
    refreshDockState();
    if (m_dock && m_dock->isSyncBlocked()) {
        cancelAutoSyncCountdown();
        return;
    }
    if (m_defaults.boolean(autoSyncEnabledKey, false) && m_hasTile && hasUnsyncedChanges()) {
        cancelAutoSyncCountdown();
        m_countdownRemaining = countdownStart;
        m_timer.start();
        emit changed();
        return;
    }
    cancelAutoSyncCountdown();
}

void EditorSyncController::cancelAutoSyncCountdown()
{
    const bool wasRunning = m_timer.isActive() || m_countdownRemaining != 0;
    m_timer.stop();
    m_countdownRemaining = 0;
    if (wasRunning)
        emit changed();
}

void EditorSyncController::tick()
{
    if (m_draft->isReordering()) {
        cancelAutoSyncCountdown();
        return;
    }
    if (m_countdownRemaining <= 1) {
        m_timer.stop();
        m_countdownRemaining = 0;
        emit changed();
        syncNow();
        return;
    }
    --m_countdownRemaining;
    emit changed();
}

void EditorSyncController::syncNow()
{
    if (m_stopped)
        return;
    startSync();
}

void EditorSyncController::startSync()
{
    if (!m_dock)
        return;
    if (m_isSyncing) {
        m_syncQueued = true;
        return;
    }
    if (m_dock->isSyncBlocked())
        m_dock->clearSyncBlock();
    m_isSyncing = true;
    m_syncSuccess = false;
    m_syncFailed = false;
    emit changed();
    const AppGroup synced = m_draft->draft();
    emit syncStarted(synced);
    QPointer<EditorSyncController> self(this);
    m_dock->sync(synced, m_defaults.boolean(autoRefreshDockLabelKey, true), [self, synced](bool success) {
        if (self)
            self->finishSync(synced, success);
    });
}

void EditorSyncController::finishSync(const AppGroup &synced, bool success)
{
    m_isSyncing = false;
    if (success) {
        m_lastSyncedSnapshot = GroupSnapshot::of(synced);
        m_handler->setOriginalDraft(synced);
        m_syncSuccess = true;
        const quint64 generation = ++m_successGeneration;
        QTimer::singleShot(successMarkMs, this, [this, generation] {
            if (generation == m_successGeneration && m_syncSuccess) {
                m_syncSuccess = false;
                emit changed();
            }
        });
    } else {
        m_syncFailed = true;
        const quint64 generation = ++m_failureGeneration;
        QTimer::singleShot(failureMarkMs, this, [this, generation] {
            if (generation == m_failureGeneration && m_syncFailed) {
                m_syncFailed = false;
                emit changed();
            }
        });
    }
    refreshDockState();
    emit syncFinished(success);
    // What was asked for while the sync ran is still owed, unless the sync already covered it (a
    // page left meanwhile still owes it; a deleted group's queue was emptied by stop()).
    if (std::exchange(m_syncQueued, false) && hasUnsyncedChanges())
        startSync();
}

void EditorSyncController::revertToOriginal()
{
    cancelAutoSyncCountdown();
    m_draft->setDraft(m_handler->originalDraft());
}

void EditorSyncController::stop()
{
    m_stopped = true;
    m_syncQueued = false;
    cancelAutoSyncCountdown();
}

void EditorSyncController::syncOwedNow()
{
    if (m_stopped || !m_timer.isActive())
        return;
    cancelAutoSyncCountdown();
    startSync();
}

void EditorSyncController::leave()
{
    syncOwedNow();
    m_stopped = true;
}

void EditorSyncController::onSyncBlockChanged()
{
    if (m_dock && m_dock->isSyncBlocked())
        cancelAutoSyncCountdown();
}
