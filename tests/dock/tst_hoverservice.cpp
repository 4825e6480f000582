// The hover service on fakes: the tile index, the modes and the watchdog, and every road from the
// Dock and the hot keys to the popup.

#include "Kestrowan/dock/HoverService.h"
#include "Kestrowan/dock/PermissionManager.h"
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupControllerPresenter.h"
#include "Platform/fake/FakeGlobalEventMonitor.h"
#include "Platform/fake/FakeDockPlatform.h"
#include "tests/dock/FakePopupPresenter.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

namespace {

// The program's side of a Dock with group folders: a store whose groups have mirror folders, the
// folders standing in the Dock's preferences and drawn as tiles, and a hover service over it all.
struct DockWithGroups {
    FakeDockPlatform fakes;
    QTemporaryDir storage;
    GroupManager manager{storage.path(), storage.path() + QStringLiteral("/Groups")};
    PermissionManager permission;
    FakePopupPresenter *popup = nullptr;
    std::unique_ptr<HoverService> service;
    QDateTime now = QDateTime::currentDateTimeUtc();
    QList<FakeDockTile> tiles;

    // With the program's own popup when `presenter` is given, else with a recording one.
    explicit DockWithGroups(std::unique_ptr<PopupPresenter> presenter = nullptr)
    {
        if (!presenter) {
            auto fake = std::make_unique<FakePopupPresenter>(fakes.screens);
            popup = fake.get();
            presenter = std::move(fake);
        }
        service = std::make_unique<HoverService>(&manager, &permission, nullptr, nullptr, std::move(presenter));
        service->setClock([this] { return now; });
    }

    // A group whose mirror folder is `folderName`, in the Dock unless told otherwise.
    AppGroup addGroup(const QString &name, const QString &folderName, bool inDock = true)
    {
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = name;
        const QString folder = manager.groupsDirectory() + u'/' + folderName;
        QDir().mkpath(folder);
        QFile id(folder + QStringLiteral("/.group_id"));
        if (id.open(QIODevice::WriteOnly))
            id.write(group.id.toString(QUuid::WithoutBraces).toUpper().toUtf8());
        QList<AppGroup> groups = manager.groups();
        groups.append(group);
        manager.setGroups(groups);
        if (inDock) {
            QVariantList others = fakes.preferences->values.value(QStringLiteral("persistent-others")).toList();
            others.append(DockService::folderTile(QUrl::fromLocalFile(folder + u'/'), folderName, AppGroup::DisplayStyle::Grid));
            fakes.preferences->values.insert(QStringLiteral("persistent-others"), others);
            tiles.append({folderName, QStringLiteral("AXFolderDockItem"), QUrl::fromLocalFile(folder),
                          FakeDockPlatform::bottomTile(int(tiles.size()))});
            fakes.accessibility->setDockTiles(tiles);
        }
        return group;
    }

    DockItemInfo tile(int index) const
    {
        const FakeDockTile &t = tiles.at(index);
        return DockItemInfo{t.title, t.frame, t.subrole, t.url.isEmpty() ? std::nullopt : std::optional<QUrl>(t.url)};
    }

    QString folderPath(const QString &folderName) const { return manager.groupsDirectory() + u'/' + folderName; }
    int createdTaps() const { return fakes.taps->createdTaps; }
};

// A bottom-left-origin point as the Dock's top-left-origin one (the fake screen is 900 high).
QPointF quartz(const QPointF &appKit)
{
    return QPointF(appKit.x(), 900 - appKit.y());
}

DockItemInfo titled(const QString &title)
{
    return DockItemInfo{title, FakeDockPlatform::bottomTile(9), QStringLiteral("AXApplicationDockItem"), std::nullopt};
}

} // namespace

class TestHoverService : public QObject {
    Q_OBJECT

private slots:
    void theIndexMapsByPathFirstAndNamesOnlyWhenUnclaimed()
    {
        DockWithGroups dock;
        const AppGroup first = dock.addGroup(QStringLiteral("Tools"), QStringLiteral("Tools"));
        const AppGroup second = dock.addGroup(QStringLiteral("Tools"), QStringLiteral("Tools 2"));
        const AppGroup renamed = dock.addGroup(QStringLiteral("Writing"), QStringLiteral("Drafts"));
        const AppGroup unnamed = dock.addGroup(QString(), QStringLiteral("Unnamed"));
        dock.addGroup(QStringLiteral("Elsewhere"), QStringLiteral("Elsewhere"), false);
        dock.service->setMode(HoverService::InteractionMode::Hover);

        QVERIFY(dock.service->trackedNames().contains(QStringLiteral("Tools")));
        QVERIFY(dock.service->ambiguousNames().contains(QStringLiteral("Tools")));
        QVERIFY(!dock.service->nameToGroup().contains(QStringLiteral("Tools")));
        QVERIFY(!dock.service->groupForDockItem(titled(QStringLiteral("Tools"))));
        // Tiles with URLs still map, by their folders.
        QCOMPARE(dock.service->groupForDockItem(dock.tile(0))->id, first.id);
        QCOMPARE(dock.service->groupForDockItem(dock.tile(1))->id, second.id);
        QCOMPARE(dock.service->groupForDockItem(titled(QStringLiteral("Tools 2")))->id, second.id);
        // A group renamed since its last sync answers to both names.
        QCOMPARE(dock.service->groupForDockItem(titled(QStringLiteral("Drafts")))->id, renamed.id);
        QCOMPARE(dock.service->groupForDockItem(titled(QStringLiteral("Writing")))->id, renamed.id);
        // An empty name is tracked but never matched.
        QVERIFY(dock.service->trackedNames().contains(QString()));
        QVERIFY(!dock.service->nameToGroup().contains(QString()));
        QCOMPARE(dock.service->groupForDockItem(dock.tile(3))->id, unnamed.id);
        // A folder that is not in the Dock is not indexed, by path or by name.
        QVERIFY(!dock.service->trackedNames().contains(QStringLiteral("Elsewhere")));
        QVERIFY(!dock.service->groupForDockItem(titled(QStringLiteral("Elsewhere"))));
        QCOMPARE(dock.service->pathToGroup().size(), 4);
    }

    void aTileWithAURLIsNeverMatchedByItsTitle()
    {
        DockWithGroups dock;
        dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        dock.service->setMode(HoverService::InteractionMode::Hover);
        DockItemInfo elsewhere = titled(QStringLiteral("Work"));
        elsewhere.url = QUrl::fromLocalFile(QStringLiteral("/home/u/Work"));
        elsewhere.subrole = QStringLiteral("AXFolderDockItem");
        QVERIFY(!dock.service->groupForDockItem(elsewhere));
        QVERIFY(dock.service->groupForDockItem(titled(QStringLiteral("Work"))));
        QVERIFY(!dock.service->eventInterceptor().shouldInterceptDockItem(elsewhere));
        // The same folder spelled with a trailing slash is the group's.
        DockItemInfo slashed = dock.tile(0);
        slashed.url = QUrl::fromLocalFile(dock.folderPath(QStringLiteral("Work")) + u'/');
        QVERIFY(dock.service->groupForDockItem(slashed));
    }

    void modesStartTheirWatchersAndWaitForTiles()
    {
        DockWithGroups dock;
        dock.service->setMode(HoverService::InteractionMode::Hover);
        QVERIFY(!dock.service->isActive());
        QVERIFY(dock.service->isWatchdogRunning()); // waiting for a group folder in the Dock
        QCOMPARE(dock.fakes.taps->liveTaps().size(), 0);

        dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        dock.service->checkDockProcess();
        QVERIFY(dock.service->isActive());
        QCOMPARE(dock.fakes.taps->liveTaps().size(), 2); // pointer and clicks
        QVERIFY(dock.service->dockSelectionObserver().isObserving());

        dock.service->setMode(HoverService::InteractionMode::Click);
        QCOMPARE(dock.fakes.taps->liveTaps().size(), 1);
        QCOMPARE(dock.fakes.taps->liveTaps().first()->options, CGEventTapOptions::Default);
        QVERIFY(!dock.service->dockSelectionObserver().isObserving());

        // Without access everything stops, and the mode is kept for when access returns.
        dock.fakes.accessibility->trusted = false;
        dock.permission.refreshAccessibilityStatus();
        dock.service->refreshTracking();
        QVERIFY(!dock.service->isActive());
        QVERIFY(!dock.service->isWatchdogRunning());
        QCOMPARE(dock.service->mode(), HoverService::InteractionMode::Click);
        QVERIFY(dock.fakes.taps->liveTaps().isEmpty());
        dock.fakes.accessibility->trusted = true;
        dock.permission.refreshAccessibilityStatus();
        dock.service->setMode(dock.service->mode());
        QVERIFY(dock.service->isActive());

        dock.service->stopHoverTracking(true);
        QCOMPARE(dock.service->mode(), HoverService::InteractionMode::None);
        QVERIFY(dock.fakes.taps->liveTaps().isEmpty());
    }

    void aNewDockProcessOrASwitchedOffTapRestartsTheWatchers()
    {
        DockWithGroups dock;
        dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        dock.service->setMode(HoverService::InteractionMode::Hover);
        QCOMPARE(dock.service->lastDockPID(), 4242);
        const int before = dock.createdTaps();
        dock.service->checkDockProcess(); // same Dock: nothing
        QCOMPARE(dock.createdTaps(), before);

        dock.fakes.accessibility->dockProcess = 5151; // a new Dock, with a tree of its own
        dock.fakes.accessibility->setDockTiles(dock.tiles);
        QTest::ignoreMessage(QtInfoMsg, "Dock process changed, recovering popup tracking");
        dock.service->checkDockProcess();
        QCOMPARE(dock.service->lastDockPID(), 5151);
        // The taps belong to the event stream and are still in place: kept, so that no click slips
        // through to the Dock while new ones would be put in place.
        QCOMPARE(dock.createdTaps(), before);
        QCOMPARE(dock.fakes.taps->liveTaps().size(), 2);
        QVERIFY(dock.service->dockSelectionObserver().isObserving());

        // The system switches the click tap off: it is switched on again and the mode applied again.
        FakeEventTap *clickTap = nullptr;
        for (FakeEventTap *tap : dock.fakes.taps->liveTaps())
            clickTap = tap->options == CGEventTapOptions::Default ? tap : clickTap;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("click tap was disabled")));
        dock.fakes.taps->disableByTimeout(clickTap);
        QVERIFY(clickTap->isEnabled());
        QCoreApplication::processEvents();
        QVERIFY(dock.fakes.taps->liveTaps().contains(clickTap));
        QVERIFY(dock.service->isActive());
        QCOMPARE(dock.createdTaps(), before);
    }

    void watchersThatCouldNotStartAreTriedAgain()
    {
        DockWithGroups dock;
        dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        dock.fakes.taps->refuseTaps = true; // the Dock is not answering yet
        dock.service->setMode(HoverService::InteractionMode::Hover);
        QVERIFY(dock.service->isActive());
        QVERIFY(dock.fakes.taps->liveTaps().isEmpty());
        dock.fakes.taps->refuseTaps = false;
        QTest::ignoreMessage(QtWarningMsg, "Dock watchers are not running, recovering popup tracking");
        dock.service->checkDockProcess();
        QCOMPARE(dock.fakes.taps->liveTaps().size(), 2);
        dock.service->checkDockProcess(); // all running: nothing more
        QCOMPARE(dock.fakes.taps->liveTaps().size(), 2);
        QCOMPARE(dock.createdTaps(), 2);
    }

    void aClickSoonAfterAHoverIsIgnoredLaterItHides()
    {
        DockWithGroups dock;
        const AppGroup work = dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        dock.service->setMode(HoverService::InteractionMode::Hover);
        const QDateTime opened = dock.now;
        dock.service->handleHoverDockItem(dock.tile(0));
        QCOMPARE(dock.popup->shown.size(), 1);
        QCOMPARE(dock.popup->shown.first().group, work.id);
        QCOMPARE(dock.popup->shown.first().anchor, QRectF(100, 7, 56, 56));
        // Hovering the same tile again neither shows it again nor restarts the 1 s window.
        dock.now = opened.addMSecs(300);
        dock.service->handleHoverDockItem(dock.tile(0));
        QCOMPARE(dock.popup->shown.size(), 1);
        QCOMPARE(*dock.service->popupPresentedAt(), opened);

        dock.now = opened.addMSecs(500);
        QTest::ignoreMessage(QtDebugMsg, "Ignored self-click shortly after hover popup opened");
        dock.service->handleClickDockItem(dock.tile(0));
        QVERIFY(dock.popup->isShowing());

        dock.now = opened.addMSecs(1200);
        dock.service->handleClickDockItem(dock.tile(0));
        QVERIFY(!dock.popup->isShowing());
        QVERIFY(!dock.service->mouseTracker().currentHoveredItemKey());
        dock.service->handleHoverDockItem(dock.tile(0));
        QCOMPARE(dock.popup->shown.size(), 2);
    }

    void clicksToggleAndSwitchInClickMode()
    {
        DockWithGroups dock;
        const AppGroup work = dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        const AppGroup play = dock.addGroup(QStringLiteral("Play"), QStringLiteral("Play"));
        dock.service->setMode(HoverService::InteractionMode::Click);
        dock.service->handleClickDockItem(dock.tile(0));
        QVERIFY(dock.popup->isShowing());
        dock.service->handleClickDockItem(dock.tile(0)); // at once: click mode knows no hover window
        QVERIFY(!dock.popup->isShowing());
        dock.service->handleClickDockItem(dock.tile(0));
        dock.service->handleClickDockItem(dock.tile(1));
        QVERIFY(dock.popup->isShowing());
        QCOMPARE(dock.popup->shown.last().group, play.id);
        QCOMPARE(dock.popup->shown.size(), 3);
        QCOMPARE(*dock.service->currentPopupGroupID(), play.id);
        // A click on a tile of no group changes nothing; neither does a held-back press on it.
        dock.service->handleClickDockItem(titled(QStringLiteral("Safari")));
        QVERIFY(dock.popup->isShowing());
        QVERIFY(!dock.service->eventInterceptor().shouldSwallowMouseDownDockItem(titled(QStringLiteral("Safari"))));
        QVERIFY(dock.service->eventInterceptor().shouldSwallowMouseDownDockItem(dock.tile(0)));
        // No exit watch outside hover mode.
        QVERIFY(!dock.popup->onMouseExited);
        Q_UNUSED(work);
    }

    void leavingThePopupClosesItUnlessThePointerReturns()
    {
        DockWithGroups dock;
        dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        dock.service->setMode(HoverService::InteractionMode::Hover);
        dock.service->handleHoverDockItem(dock.tile(0));
        QVERIFY(dock.popup->onMouseExited);

        // Back inside before the look 80 ms later: it stays.
        dock.fakes.screens->mouse = QPointF(10, 500);
        dock.popup->onMouseExited();
        dock.fakes.screens->mouse = dock.popup->inside();
        const int queries = dock.popup->insideQueries;
        QTRY_VERIFY(dock.popup->insideQueries > queries);
        QVERIFY(dock.popup->isShowing());

        dock.fakes.screens->mouse = QPointF(10, 500);
        dock.popup->onMouseExited();
        QTRY_VERIFY(!dock.popup->isShowing());
        QVERIFY(!dock.service->currentPopupGroupID());
        QVERIFY(!dock.popup->onMouseExited);
    }

    void aClearedSelectionClosesAfterTheDelayUnlessSomethingComes()
    {
        DockWithGroups dock;
        const AppGroup work = dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        dock.addGroup(QStringLiteral("Play"), QStringLiteral("Play"));
        dock.service->setMode(HoverService::InteractionMode::Hover);
        dock.fakes.screens->mouse = QPointF(10, 500);
        dock.service->onDockSelectionChanged(dock.tile(0)); // selected, the pointer elsewhere
        QCOMPARE(dock.popup->shown.last().group, work.id);
        dock.popup->endShowGrace();

        dock.service->onDockSelectionChanged(std::nullopt);
        QVERIFY(dock.service->isDismissPending());
        dock.service->onDockSelectionChanged(dock.tile(0)); // within the delay: called off
        QVERIFY(!dock.service->isDismissPending());
        QVERIFY(dock.popup->isShowing());

        dock.service->onDockSelectionChanged(std::nullopt);
        QTRY_VERIFY(!dock.popup->isShowing());

        // Cleared while the pointer is over the popup: nothing is scheduled.
        dock.service->onDockSelectionChanged(dock.tile(0));
        dock.fakes.screens->mouse = dock.popup->inside();
        dock.service->onDockSelectionChanged(std::nullopt);
        QVERIFY(!dock.service->isDismissPending());
        // Another tile of the Dock selected: closed at once.
        dock.service->onDockSelectionChanged(titled(QStringLiteral("Safari")));
        QVERIFY(!dock.popup->isShowing());

        // The group tile under the pointer wins over the selected one, placed by a fresh read.
        dock.fakes.screens->mouse = QPointF(dock.tile(1).frame.center().x(), 900 - dock.tile(1).frame.center().y());
        dock.service->onDockSelectionChanged(dock.tile(0));
        QCOMPARE(dock.popup->shown.last().anchor, QRectF(160, 7, 56, 56));
        // In click mode the selection is not followed.
        dock.service->setMode(HoverService::InteractionMode::Click);
        const int shown = int(dock.popup->shown.size());
        dock.service->onDockSelectionChanged(dock.tile(0));
        QCOMPARE(dock.popup->shown.size(), shown);
    }

    void aPressOnAGroupTileIsNoClickOutsideThePopup()
    {
        DockWithGroups dock;
        dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        const auto appKit = [](const QPointF &quartz) { return QPointF(quartz.x(), 900 - quartz.y()); };
        const QPointF onGroup = appKit(dock.tile(0).frame.center());
        QVERIFY(!dock.popup->ignoresPressAt(onGroup)); // nothing intercepts clicks yet
        dock.service->setMode(HoverService::InteractionMode::Click);
        QVERIFY(dock.popup->ignoresPressAt(onGroup));
        QVERIFY(!dock.popup->ignoresPressAt(appKit(QPointF(700, 300))));
        QVERIFY(!dock.popup->ignoresPressAt(appKit(FakeDockPlatform::bottomTile(5).center())));
        dock.service->stopHoverTracking(true);
        QVERIFY(!dock.popup->ignoresPressAt(onGroup));
    }

    void hotKeysShowInAnyModeAndRenamesAndEditsReachTheirOwners()
    {
        DockWithGroups dock;
        const AppGroup work = dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        QCOMPARE(dock.service->mode(), HoverService::InteractionMode::None);
        dock.service->showPopupForGroup(work, QRectF(660, 420, 80, 60));
        QVERIFY(dock.popup->isShowing());
        QVERIFY(!dock.popup->onMouseExited);

        QList<QUuid> edits;
        dock.service->onRequestEditGroup = [&](const QUuid &id) { edits.append(id); };
        dock.popup->onEdit(work.id);
        QCOMPARE(edits, QList<QUuid>{work.id});

        dock.popup->onRenameGroup(work.id, QStringLiteral("Deep Work"));
        QCOMPARE(dock.manager.groups().first().name, QStringLiteral("Deep Work"));
        dock.popup->onRenameGroup(QUuid::createUuid(), QStringLiteral("Nobody"));
        QCOMPARE(dock.manager.groups().size(), 1);
    }

    // The pointer leaves a popup opened by hovering and comes to rest where neither the tile nor the
    // panel is: just past the tile's edge, or far away within the popup's first half second. The
    // Dock drops its selection as the pointer leaves the tile; the popup closes, never before that
    // first half second is over. Moving on the Dock itself starts no leave while the popup shows.
    void aPointerRestingOffTheTileAndPanelClosesTheHoverPopup()
    {
        DockWithGroups dock;
        dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        dock.addGroup(QStringLiteral("Play"), QStringLiteral("Play"));
        dock.service->setMode(HoverService::InteractionMode::Hover);
        const QRectF tile = dock.tile(1).frame;
        const QList<QPointF> rests{QPointF(tile.center().x(), tile.bottom() + 3), QPointF(700, 300)};
        for (const QPointF &rest : rests) {
            const int shown = int(dock.popup->shown.size());
            dock.fakes.movePointer(tile.center());
            dock.fakes.accessibility->selectTile(1);
            QTRY_COMPARE(dock.popup->shown.size(), shown + 1);
            QElapsedTimer since;
            since.start();
            dock.fakes.movePointer(rest);
            QTRY_VERIFY(!dock.service->mouseTracker().isLeaveGraceRunning());
            dock.fakes.accessibility->selectTile(-1);
            QTRY_VERIFY_WITH_TIMEOUT(!dock.popup->isShowing(), 10000);
            QVERIFY(since.elapsed() >= PopupWindowController::showGraceMilliseconds);
            QVERIFY(!dock.service->currentPopupGroupID());
        }

        // The watchers started afresh while the popup shows (the screens changed, the Dock came
        // back): the popup still closes once the pointer has left its tile.
        dock.fakes.movePointer(tile.center());
        QTRY_VERIFY(dock.popup->isShowing());
        QTRY_VERIFY(dock.service->mouseTracker().currentHoveredItemKey());
        dock.service->setMode(HoverService::InteractionMode::Hover);
        QVERIFY(dock.popup->isShowing());
        dock.fakes.movePointer(QPointF(700, 300));
        QTRY_VERIFY_WITH_TIMEOUT(!dock.popup->isShowing(), 10000);
        // They start afresh after the pointer has left and while it rests away: it still closes.
        dock.fakes.movePointer(tile.center());
        QTRY_VERIFY(dock.popup->isShowing());
        QTRY_VERIFY(dock.service->mouseTracker().currentHoveredItemKey());
        dock.fakes.movePointer(QPointF(700, 300));
        dock.service->setMode(HoverService::InteractionMode::Hover);
        QTRY_VERIFY_WITH_TIMEOUT(!dock.popup->isShowing(), 10000);

        // On the tile or over the panel it stays, however long the pointer rests there.
        dock.fakes.movePointer(tile.center());
        dock.fakes.accessibility->selectTile(1);
        QTRY_VERIFY(dock.popup->isShowing());
        dock.fakes.movePointer(quartz(dock.popup->inside()));
        dock.fakes.accessibility->selectTile(-1);
        QTRY_VERIFY_WITH_TIMEOUT(dock.popup->showGraceRemaining() == 0, 10000);
        QTest::qWait(400);
        QVERIFY(dock.popup->isShowing());
        dock.fakes.movePointer(tile.center());
        dock.fakes.accessibility->selectTile(1);
        QTest::qWait(400);
        QVERIFY(!dock.service->mouseTracker().isLeaveGraceRunning());
        QVERIFY(dock.popup->isShowing());
    }

    // The Dock's selection never follows the pointer (it slips off the tile before the Dock selects
    // it) and the panel reports no leave: wherever the pointer rests first, on the tile, over the
    // panel or beside it, the popup closes once it goes on to where neither the tile nor the panel is.
    void aHoverPopupClosesWithoutTheDocksSelectionOrThePanelsLeave()
    {
        DockWithGroups dock;
        dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        dock.service->setMode(HoverService::InteractionMode::Hover);
        const QRectF tile = dock.tile(0).frame;
        const QList<QPointF> firstRests{QPointF(tile.center().x(), tile.bottom() + 3), tile.center(),
                                        quartz(dock.popup->inside()), quartz(dock.popup->besidePanel())};
        for (const QPointF &firstRest : firstRests) {
            dock.fakes.movePointer(tile.center());
            QTRY_VERIFY(dock.popup->isShowing());
            dock.fakes.movePointer(firstRest);
            if (firstRest != firstRests.first()) {
                QTRY_VERIFY_WITH_TIMEOUT(dock.popup->showGraceRemaining() == 0, 10000);
                QTest::qWait(4 * HoverService::mouseExitCheckMilliseconds);
                QVERIFY(dock.popup->isShowing());
                dock.fakes.movePointer(QPointF(700, 300));
            }
            QTRY_VERIFY_WITH_TIMEOUT(!dock.popup->isShowing(), 10000);
            QVERIFY(!dock.service->currentPopupGroupID());
        }
    }

    // The pointer leaves the panel: resting beside it, in the margin that forgives a hand crossing
    // the edge, the popup stays; going on from there, it closes, though the panel reports no second
    // leave. One left within its first half second closes once that is over.
    void aPointerLeavingThePanelIsLookedAtUntilItGoes()
    {
        DockWithGroups dock;
        const AppGroup work = dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        dock.service->setMode(HoverService::InteractionMode::Hover);
        dock.fakes.screens->mouse = dock.popup->inside();
        dock.service->showPopupForGroup(work, QRectF(660, 420, 80, 60)); // a hot key
        dock.popup->endShowGrace();
        dock.fakes.screens->mouse = dock.popup->besidePanel();
        dock.popup->onMouseExited();
        QTest::qWait(4 * HoverService::mouseExitCheckMilliseconds);
        QVERIFY(dock.popup->isShowing());
        dock.fakes.screens->mouse = QPointF(10, 500);
        QTRY_VERIFY_WITH_TIMEOUT(!dock.popup->isShowing(), 10000);

        dock.fakes.screens->mouse = dock.popup->inside();
        dock.service->showPopupForGroup(work, QRectF(660, 420, 80, 60));
        QElapsedTimer since;
        since.start();
        dock.fakes.screens->mouse = QPointF(10, 500);
        dock.popup->onMouseExited();
        QTRY_VERIFY_WITH_TIMEOUT(!dock.popup->isShowing(), 10000);
        QVERIFY(since.elapsed() >= PopupWindowController::showGraceMilliseconds - 50);
    }

    // A hot key pressed just after the pointer left a hovered tile: the new popup stays with the
    // pointer at rest, whatever was pending for the one before.
    void aHotKeyPopupRightAfterLeavingATileStays()
    {
        DockWithGroups dock;
        dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        const AppGroup play = dock.addGroup(QStringLiteral("Play"), QStringLiteral("Play"));
        dock.service->setMode(HoverService::InteractionMode::Hover);
        dock.fakes.movePointer(dock.tile(0).frame.center());
        dock.fakes.accessibility->selectTile(0);
        QTRY_VERIFY(dock.popup->isShowing());
        dock.popup->endShowGrace();
        dock.fakes.movePointer(QPointF(700, 300));
        dock.fakes.accessibility->selectTile(-1);
        QTRY_VERIFY(dock.service->isDismissPending());
        dock.service->showPopupForGroup(play, QRectF(660, 560, 80, 60));
        QCOMPARE(dock.popup->shown.last().group, play.id);
        QTest::qWait(1200);
        QVERIFY(dock.popup->isShowing());
        QCOMPARE(dock.service->currentPopupGroupID(), std::optional<QUuid>(play.id));

        // The Dock's word that its selection went comes only after the hot key's popup showed.
        dock.fakes.movePointer(dock.tile(0).frame.center());
        dock.fakes.accessibility->selectTile(0);
        QTRY_COMPARE(dock.service->currentPopupGroupID(), std::optional<QUuid>(dock.manager.groups().first().id));
        dock.fakes.movePointer(QPointF(700, 300));
        dock.service->showPopupForGroup(play, QRectF(660, 560, 80, 60));
        dock.fakes.accessibility->selectTile(-1);
        QTest::qWait(1200);
        QVERIFY(dock.popup->isShowing());
        QCOMPARE(dock.service->currentPopupGroupID(), std::optional<QUuid>(play.id));
    }

    // The program's own popup with the service: a hover shows its panel beside the tile, and a
    // pointer come to rest just past the tile's edge closes it.
    void theProgramsPopupClosesWhenThePointerRestsOffTheTile()
    {
        GlobalEventMonitor::installFactory([] { return std::make_unique<FakeGlobalEventMonitor>(); });
        auto presenter = std::make_unique<PopupControllerPresenter>();
        PopupWindowController &controller = presenter->controller();
        DockWithGroups dock(std::move(presenter));
        dock.addGroup(QStringLiteral("Work"), QStringLiteral("Work"));
        dock.service->setMode(HoverService::InteractionMode::Hover);
        const QRectF tile = dock.tile(0).frame;
        dock.fakes.movePointer(tile.center());
        dock.fakes.accessibility->selectTile(0);
        QTRY_VERIFY(controller.isShowing());
        QTRY_VERIFY(controller.panel() && controller.panel()->isVisible());
        QVERIFY(dock.service->popupController().frame().top() >= quartz(tile.topLeft()).y() + 8); // above the tile
        dock.fakes.movePointer(QPointF(tile.center().x(), tile.bottom() + 2));
        dock.fakes.accessibility->selectTile(-1);
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isShowing(), 10000);
        QVERIFY(!dock.service->currentPopupGroupID());
        dock.service.reset();
        GlobalEventMonitor::installFactory({});
    }
};

KESTROWAN_TEST_MAIN(TestHoverService)
#include "tst_hoverservice.moc"
