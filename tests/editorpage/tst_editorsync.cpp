// The editor's store-at-once road and its Dock side, on a real group store and a fake Dock.
#include "Kestrowan/editor/DraftChangeHandler.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorItemActions.h"
#include "Kestrowan/editor/EditorSyncController.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Platform/UserDefaults.h"
#include "tests/editorpage/EditorPageSupport.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>

namespace {

// One editor's logic, wired as the page wires it.
struct Editor {
    Editor(GroupManager *store, FakeDockSync *dock, const AppGroup &group, bool isNewDraft)
        : draft(group),
          handler(&draft, store, isNewDraft, [this] { sync->scheduleAutoSync(); }),
          actions(&draft, &handler, sent.sender(), QString())
    {
        sync = std::make_unique<EditorSyncController>(&draft, &handler, dock, UserDefaults::standard());
        sync->recordSyncedSnapshotOnAppear();
    }
    void rename(const QString &name)
    {
        AppGroup group = draft.draft();
        group.name = name;
        draft.setDraft(group);
    }
    SentSignals sent;
    EditorDraft draft;
    DraftChangeHandler handler;
    EditorItemActions actions;
    std::unique_ptr<EditorSyncController> sync;
};

} // namespace

class TestEditorSync : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dirOwner;
    QTemporaryDir &dir() { return *m_dirOwner; }
    std::unique_ptr<GroupManager> m_store;
    std::unique_ptr<FakeDockSync> m_dockOwner;
    FakeDockSync &dock() { return *m_dockOwner; }

    AppGroup storedGroup(const QString &name, const QList<AppItem> &apps)
    {
        AppGroup group = m_store->createGroup();
        group.name = name;
        group.apps = apps;
        m_store->updateGroup(group);
        return group;
    }
    // A group whose tile the Dock shows as it is.
    AppGroup syncedGroup()
    {
        const AppGroup group = storedGroup(QStringLiteral("Work"), {fileItem(QStringLiteral("/a.txt")), fileItem(QStringLiteral("/b.txt"))});
        dock().tile = true;
        dock().syncedContents = {group};
        return group;
    }

private slots:
    void init()
    {
        m_store.reset();
        m_dirOwner = std::make_unique<QTemporaryDir>();
        m_store = makeEditorStore(dir());
        m_store->setGroups({});
        m_dockOwner = std::make_unique<FakeDockSync>();
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, true);
    }

    void newDraftIsStoredAtItsFirstRealChangeOnly()
    {
        AppGroup draft = makeEditorGroup(QString());
        Editor editor(m_store.get(), &dock(), draft, true);
        editor.rename(QStringLiteral("   \n"));
        AppGroup withOpener = editor.draft.draft();
        withOpener.customOpenerPath = QStringLiteral("/usr/bin/gedit");
        editor.draft.setDraft(withOpener);
        QCOMPARE(m_store->groups().size(), 0);
        QVERIFY(storedGroups(*m_store).isEmpty());
        QVERIFY(!editor.handler.hasMadeChanges());

        editor.rename(QStringLiteral("  W"));
        QCOMPARE(m_store->groups().size(), 1);
        const AppGroup stored = m_store->groups().first();
        QCOMPARE(stored.name, QStringLiteral("  W"));
        QCOMPARE(stored.customOpenerPath, withOpener.customOpenerPath);
        QCOMPARE(editor.draft.draft().id, stored.id);
        QVERIFY(stored.id != draft.id);
        editor.rename(QStringLiteral("  Wo"));
        QCOMPARE(m_store->groups().size(), 1);
        QCOMPARE(storedGroups(*m_store).first().name, QStringLiteral("  Wo"));
    }

    void styleChoiceAloneCreatesTheGroup()
    {
        Editor editor(m_store.get(), &dock(), makeEditorGroup(QString()), true);
        AppGroup group = editor.draft.draft();
        group.displayStyle = AppGroup::DisplayStyle::List;
        editor.draft.setDraft(group);
        QCOMPARE(m_store->groups().size(), 1);
        QCOMPARE(m_store->groups().first().displayStyle, AppGroup::DisplayStyle::List);
    }

    void countdownRestartsOnEachChangeAndSyncsOnceAtTheThirdTick()
    {
        const AppGroup group = syncedGroup();
        Editor editor(m_store.get(), &dock(), group, false);
        QVERIFY(editor.sync->isDraftSynced());
        QCOMPARE(editor.sync->status(), EditorSyncController::Status::UpToDate);
        editor.rename(QStringLiteral("Work 1"));
        QCOMPARE(editor.sync->countdownRemaining(), 3);
        QVERIFY(editor.sync->isCountdownRunning());
        editor.sync->tick();
        editor.sync->tick();
        QCOMPARE(editor.sync->countdownRemaining(), 1);
        editor.rename(QStringLiteral("Work 2"));
        QCOMPARE(editor.sync->countdownRemaining(), 3);
        editor.sync->tick();
        editor.sync->tick();
        QVERIFY(dock().requests.isEmpty());
        editor.sync->tick();
        QCOMPARE(dock().requests.size(), 1);
        QCOMPARE(dock().requests.first().name, QStringLiteral("Work 2"));
        QVERIFY(!editor.sync->isCountdownRunning());
        QCOMPARE(editor.sync->status(), EditorSyncController::Status::Syncing);
        dock().finish(true);
        QCOMPARE(editor.sync->status(), EditorSyncController::Status::Synced);
        QVERIFY(!editor.sync->hasUnsyncedChanges());
        QCOMPARE(editor.sync->bar(), EditorSyncController::Bar::None);
        QCOMPARE(editor.handler.originalDraft().name, QStringLiteral("Work 2"));
        // The mark goes after its time and the Dock is then seen to match.
        QTRY_COMPARE_WITH_TIMEOUT(editor.sync->status(), EditorSyncController::Status::UpToDate, 20000);
    }

    void countdownTicksEverySecondOnTheRealTimer()
    {
        const AppGroup group = syncedGroup();
        Editor editor(m_store.get(), &dock(), group, false);
        QSignalSpy started(editor.sync.get(), &EditorSyncController::syncStarted);
        editor.rename(QStringLiteral("Later"));
        QCOMPARE(editor.sync->countdownRemaining(), 3);
        QVERIFY(started.wait(20000));
        QCOMPARE(dock().requests.size(), 1);
    }

    void withoutAutoSyncOrTileNoCountdownStarts()
    {
        const AppGroup group = syncedGroup();
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, false);
        {
            Editor editor(m_store.get(), &dock(), group, false);
            editor.rename(QStringLiteral("Off"));
            QVERIFY(!editor.sync->isCountdownRunning());
            QCOMPARE(editor.sync->bar(), EditorSyncController::Bar::UnsyncedChanges);
            QVERIFY(editor.sync->barOffersRevert());
            QCOMPARE(editor.sync->barSyncButtonKey(), QStringLiteral("editor.syncUpdate"));
        }
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, true);
        dock().tile = false;
        Editor never(m_store.get(), &dock(), group, false);
        never.rename(QStringLiteral("Never synced"));
        QVERIFY(!never.sync->isCountdownRunning());
        QVERIFY(!never.sync->barOffersRevert());
        QCOMPARE(never.sync->barSyncButtonKey(), QStringLiteral("editor.addToDock"));
    }

    void syncNowDuringCountdownSyncsOnce()
    {
        const AppGroup group = syncedGroup();
        Editor editor(m_store.get(), &dock(), group, false);
        editor.rename(QStringLiteral("Now"));
        editor.sync->cancelAutoSyncCountdown();
        QVERIFY(!editor.sync->isCountdownRunning());
        QCOMPARE(editor.sync->bar(), EditorSyncController::Bar::UnsyncedChanges);
        editor.sync->syncNow();
        QCOMPARE(dock().requests.size(), 1);
        dock().finish(true);
        QCOMPARE(dock().requests.size(), 1);
    }

    void aBlockedStoreStopsTheCountdownAndTheUsersSyncLiftsIt()
    {
        const AppGroup group = syncedGroup();
        Editor editor(m_store.get(), &dock(), group, false);
        editor.rename(QStringLiteral("Blocked"));
        QVERIFY(editor.sync->isCountdownRunning());
        dock().setBlocked(true);
        QVERIFY(!editor.sync->isCountdownRunning());
        editor.rename(QStringLiteral("Blocked 2"));
        QVERIFY(!editor.sync->isCountdownRunning());
        editor.sync->syncNow();
        QCOMPARE(dock().blockClears, 1);
        QVERIFY(!dock().blocked);
        dock().finish(false);
        QCOMPARE(editor.sync->status(), EditorSyncController::Status::Failed);
        QCOMPARE(editor.sync->bar(), EditorSyncController::Bar::UnsyncedChanges);
    }

    void revertGoesBackToWhatWasSyncedAndStoresIt()
    {
        const AppGroup group = syncedGroup();
        Editor editor(m_store.get(), &dock(), group, false);
        editor.rename(QStringLiteral("Changed"));
        editor.sync->revertToOriginal();
        QVERIFY(!editor.sync->isCountdownRunning());
        QVERIFY(!editor.sync->hasUnsyncedChanges());
        QCOMPARE(editor.sync->bar(), EditorSyncController::Bar::None);
        QCOMPARE(storedGroups(*m_store).first().name, QStringLiteral("Work"));
    }

    void whatTheTileShowsDecidesUnsyncedChanges()
    {
        const AppGroup group = syncedGroup();
        Editor editor(m_store.get(), &dock(), group, false);
        AppGroup renamedItem = editor.draft.draft();
        renamedItem.apps[0].name = QStringLiteral("Another name");
        renamedItem.apps[0].path = QStringLiteral("/elsewhere/a.txt");
        editor.draft.setDraft(renamedItem);
        QVERIFY(!editor.sync->hasUnsyncedChanges());
        editor.rename(QStringLiteral("Work "));
        QVERIFY(editor.sync->hasUnsyncedChanges());

        // Without a synced snapshot every difference counts, item identifiers included.
        dock().tile = false;
        Editor fresh(m_store.get(), &dock(), group, false);
        AppGroup newIDs = fresh.draft.draft();
        newIDs.apps[0].id = QUuid::createUuid();
        fresh.draft.setDraft(newIDs);
        QVERIFY(fresh.sync->hasUnsyncedChanges());
    }

    // A page with no items has no bar, whatever else holds.
    void noItemsNoBar()
    {
        const AppGroup group = storedGroup(QStringLiteral("Empty"), {});
        Editor editor(m_store.get(), &dock(), group, false);
        editor.rename(QStringLiteral("Empty 2"));
        QCOMPARE(editor.sync->bar(), EditorSyncController::Bar::None);
    }

    // Mend: the bar of a group whose tile is in the Dock but shows an older state says so.
    void aTileOutOfDateIsNamedSo()
    {
        const AppGroup group = syncedGroup();
        AppGroup changedElsewhere = group;
        changedElsewhere.name = QStringLiteral("Renamed elsewhere");
        m_store->updateGroup(changedElsewhere);
        Editor editor(m_store.get(), &dock(), changedElsewhere, false);
        QVERIFY(!editor.sync->hasUnsyncedChanges());
        QCOMPARE(editor.sync->bar(), EditorSyncController::Bar::OutOfDate);
        QCOMPARE(editor.sync->barChipKey(), QStringLiteral("editor.dockOutOfDate"));
        QCOMPARE(editor.sync->barSyncButtonKey(), QStringLiteral("editor.syncUpdate"));
        dock().tile = false;
        Editor missing(m_store.get(), &dock(), changedElsewhere, false);
        QCOMPARE(missing.sync->bar(), EditorSyncController::Bar::NotInDock);
        QCOMPARE(missing.sync->barChipKey(), QStringLiteral("editor.notInDock"));
    }

    // Mend: a successful sync marks as synced what it synced, not what was typed meanwhile; and
    // one sync runs at a time, later requests waiting for it.
    void editsDuringASyncStayUnsyncedAndAreSyncedAfterIt()
    {
        const AppGroup group = syncedGroup();
        Editor editor(m_store.get(), &dock(), group, false);
        editor.rename(QStringLiteral("First"));
        editor.sync->syncNow();
        QCOMPARE(dock().running, 1);
        editor.rename(QStringLiteral("Second"));
        // The countdown that this edit started runs out while the sync still runs.
        for (int i = 0; i < 3; ++i)
            editor.sync->tick();
        editor.sync->syncNow();
        QCOMPARE(dock().requests.size(), 1);
        dock().finish(true);
        QCOMPARE(editor.sync->lastSyncedSnapshot()->name, QStringLiteral("First"));
        QCOMPARE(editor.handler.originalDraft().name, QStringLiteral("First"));
        // What was asked for meanwhile follows, alone.
        QCOMPARE(dock().requests.size(), 2);
        QCOMPARE(dock().requests.last().name, QStringLiteral("Second"));
        QCOMPARE(dock().mostAtOnce, 1);
        QVERIFY(editor.sync->hasUnsyncedChanges());
        dock().finish(true);
        QVERIFY(!editor.sync->hasUnsyncedChanges());
        QCOMPARE(dock().requests.size(), 2);
    }

    // Mend: a deleted group (or a page left) keeps no countdown that could bring its tile back.
    void stoppingCancelsTheCountdownAndAnyWaitingSync()
    {
        const AppGroup group = syncedGroup();
        Editor editor(m_store.get(), &dock(), group, false);
        editor.rename(QStringLiteral("Going"));
        QVERIFY(editor.sync->isCountdownRunning());
        editor.sync->stop();
        QVERIFY(!editor.sync->isCountdownRunning());
        editor.rename(QStringLiteral("Gone"));
        QVERIFY(!editor.sync->isCountdownRunning());
        editor.sync->syncNow();
        QVERIFY(dock().requests.isEmpty());

        Editor during(m_store.get(), &dock(), group, false);
        during.rename(QStringLiteral("A"));
        during.sync->syncNow();
        during.rename(QStringLiteral("B"));
        during.sync->syncNow();
        during.sync->stop();
        dock().finish(true);
        QCOMPARE(dock().requests.size(), 1);
    }

    // Mend: Done and Cancel of the reorder mode both store what the mode held back, and start the
    // countdown.
    void reorderEndsStoreAndScheduleTheSync()
    {
        const AppGroup group = syncedGroup();
        Editor editor(m_store.get(), &dock(), group, false);
        const QUuid first = group.apps[0].id, second = group.apps[1].id;
        editor.actions.beginItemDrag(second);
        QVERIFY(editor.actions.dropEntered(first));
        editor.rename(QStringLiteral("Renamed while reordering"));
        QVERIFY(!editor.sync->isCountdownRunning());
        QCOMPARE(storedGroups(*m_store).first().apps.first().id, first);
        editor.actions.finishReorder();
        const AppGroup stored = storedGroups(*m_store).first();
        QCOMPARE(stored.apps.first().id, second);
        QCOMPARE(stored.name, QStringLiteral("Renamed while reordering"));
        QVERIFY(editor.sync->isCountdownRunning());

        editor.sync->cancelAutoSyncCountdown();
        editor.actions.beginItemDrag(first);
        QVERIFY(editor.actions.dropEntered(second));
        editor.rename(QStringLiteral("Cancelled"));
        editor.actions.cancelReorder();
        const AppGroup afterCancel = storedGroups(*m_store).first();
        QCOMPARE(afterCancel.apps.first().id, second);
        QCOMPARE(afterCancel.name, QStringLiteral("Cancelled"));
        QVERIFY(editor.sync->isCountdownRunning());
    }
};

KESTROWAN_TEST_MAIN(TestEditorSync)
#include "tst_editorsync.moc"
