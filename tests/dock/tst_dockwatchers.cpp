// The three Dock watchers and the permission manager on fakes of the platform.

#include "Kestrowan/dock/DockSelectionObserver.h"
#include "Kestrowan/dock/EventInterceptor.h"
#include "Kestrowan/dock/HoverTuning.h"
#include "Kestrowan/dock/MouseTracker.h"
#include "Kestrowan/dock/PermissionManager.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeDockPlatform.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>
#include <QSignalSpy>

namespace {

const QString groupsFolder = QStringLiteral("/home/u/.local/share/Kestrowan/Groups/");

// Tiles 0 and 1 are applications, 2 and 3 group folders, 4 a folder of no group.
void setStandardTiles(FakeDockPlatform &fakes)
{
    const QString app = QStringLiteral("AXApplicationDockItem");
    const QString folder = QStringLiteral("AXFolderDockItem");
    fakes.accessibility->setDockTiles({{QStringLiteral("Safari"), app, {}, FakeDockPlatform::bottomTile(0)},
                                       {QStringLiteral("Work"), app, {}, FakeDockPlatform::bottomTile(1)},
                                       {QStringLiteral("Work"), folder, QUrl::fromLocalFile(groupsFolder + QStringLiteral("Work")), FakeDockPlatform::bottomTile(2)},
                                       {QStringLiteral("Play"), folder, QUrl::fromLocalFile(groupsFolder + QStringLiteral("Play")), FakeDockPlatform::bottomTile(3)},
                                       {QStringLiteral("Downloads"), folder, QUrl::fromLocalFile(QStringLiteral("/home/u/Downloads")), FakeDockPlatform::bottomTile(4)}});
}

QSet<QString> groupPaths()
{
    return {groupsFolder + QStringLiteral("Work"), groupsFolder + QStringLiteral("Play")};
}

QSet<QString> groupNames()
{
    return {QStringLiteral("Work"), QStringLiteral("Play")};
}

QPointF centre(int tile)
{
    return FakeDockPlatform::bottomTile(tile).center();
}

// An interceptor started on the standard tiles, counting its clicks; it holds presses back unless
// told otherwise.
struct InterceptorOnTheDock {
    FakeDockPlatform fakes;
    EventInterceptor interceptor;
    QList<DockItemInfo> clicks;

    explicit InterceptorOnTheDock(bool hold = true)
    {
        setStandardTiles(fakes);
        interceptor.onClickDockItem = [this](const DockItemInfo &item) { clicks.append(item); };
        if (hold)
            interceptor.shouldSwallowMouseDownDockItem = [](const DockItemInfo &) { return true; };
        interceptor.startEventTap(groupNames(), groupPaths());
    }
};

} // namespace

class TestDockWatchers : public QObject {
    Q_OBJECT

private slots:
    // Selection observer

    void aChangeIsReportedOnceWhateverSeesIt()
    {
        FakeDockPlatform fakes;
        setStandardTiles(fakes);
        DockSelectionObserver observer;
        QList<std::optional<DockItemInfo>> reports;
        observer.onSelectionChanged = [&](const std::optional<DockItemInfo> &item) { reports.append(item); };
        observer.startObservingDockSelection(groupNames());
        QCOMPARE(reports.size(), 1); // the current selection, at once
        QVERIFY(!reports.last());

        fakes.accessibility->selectTile(2); // notification; the poll sees it too
        QTRY_COMPARE(reports.size(), 2);
        QCOMPARE(reports.last()->title, QStringLiteral("Work"));
        QVERIFY(QTest::qWaitFor([&] { return reports.size() > 2; }, 3 * DockSelectionObserver::pollIntervalMilliseconds) == false);

        fakes.accessibility->selectTile(0, false); // only the poll sees this one
        QTRY_COMPARE(reports.size(), 3);
        QCOMPARE(reports.last()->title, QStringLiteral("Safari"));

        fakes.accessibility->selectTile(-1);
        QTRY_COMPARE(reports.size(), 4);
        QVERIFY(!reports.last());
        QVERIFY(!observer.currentSelectionItem);
        observer.forceRefreshSelection();
        QCOMPARE(reports.size(), 5);

        // Starting again registers once and reports afresh; stopping forgets everything.
        observer.startObservingDockSelection(groupNames());
        QCOMPARE(reports.size(), 6);
        QCOMPARE(fakes.accessibility->liveObservers().size(), 1);
        QCOMPARE(fakes.accessibility->liveObservers().first()->registrationCount(), 1);
        observer.stopObservingDockSelection();
        QVERIFY(fakes.accessibility->liveObservers().isEmpty());
        fakes.accessibility->selectTile(3);
        QVERIFY(!QTest::qWaitFor([&] { return reports.size() > 6; }, 3 * DockSelectionObserver::pollIntervalMilliseconds));
    }

    void signaturesAndRefusedStarts()
    {
        QCOMPARE(DockSelectionObserver::selectionSignature(std::nullopt), QStringLiteral("nil"));
        QCOMPARE(DockSelectionObserver::selectionSignature(DockItemInfo{QStringLiteral("Mail"), QRectF(900.6, 1040, 64, 64), {}, {}}),
                 QStringLiteral("Mail|-|900:1040:64:64"));
        QCOMPARE(DockSelectionObserver::selectionSignature(
                     DockItemInfo{QStringLiteral("W"), QRectF(-0.5, 3.9, 48.2, 48), {}, QUrl::fromLocalFile(QStringLiteral("/a/b/"))}),
                 QStringLiteral("W|/a/b|0:3:48:48"));

        FakeDockPlatform fakes;
        setStandardTiles(fakes);
        DockSelectionObserver observer;
        int reports = 0;
        observer.onSelectionChanged = [&](const std::optional<DockItemInfo> &) { ++reports; };
        fakes.accessibility->trusted = false;
        observer.startObservingDockSelection({});
        QVERIFY(!observer.isObserving());
        QVERIFY(fakes.accessibility->liveObservers().isEmpty());
        fakes.accessibility->trusted = true;
        fakes.accessibility->observersFail = true;
        observer.startObservingDockSelection({});
        QVERIFY(!observer.isObserving());
        QCOMPARE(reports, 0);
    }

    // Click interceptor

    void aHeldClickIsReportedAndTheDockSeesNothing()
    {
        InterceptorOnTheDock dock;
        FakeDockPlatform &fakes = dock.fakes;
        const QList<DockItemInfo> &clicks = dock.clicks;
        QCOMPARE(fakes.taps->liveTaps().size(), 1);
        QCOMPARE(fakes.taps->liveTaps().first()->eventsOfInterest, quint64(0x2600005E));

        QVERIFY(!fakes.button(CGEventType::LeftMouseDown, centre(3)));
        QVERIFY(!fakes.button(CGEventType::LeftMouseUp, centre(3) + QPointF(2, 1)));
        QVERIFY(clicks.isEmpty()); // reported after the tap has answered
        QTRY_COMPARE(clicks.size(), 1);
        QCOMPARE(clicks.first().title, QStringLiteral("Play"));

        // Released on another group tile or away from the Dock: dropped, not reported.
        QVERIFY(!fakes.button(CGEventType::LeftMouseDown, centre(3)));
        QVERIFY(!fakes.button(CGEventType::LeftMouseUp, centre(2)));
        QVERIFY(!fakes.button(CGEventType::LeftMouseDown, centre(3)));
        QVERIFY(!fakes.button(CGEventType::LeftMouseUp, QPointF(700, 300)));
        // Other tiles, and the application tile that shares a group's name, are the Dock's.
        QVERIFY(fakes.button(CGEventType::LeftMouseDown, centre(4)));
        QVERIFY(fakes.button(CGEventType::LeftMouseUp, centre(4)));
        QVERIFY(fakes.button(CGEventType::LeftMouseDown, centre(0)));
        QVERIFY(fakes.button(CGEventType::LeftMouseUp, centre(0)));
        QCoreApplication::processEvents();
        QCOMPARE(clicks.size(), 1);
        QVERIFY(fakes.taps->posted.isEmpty());
    }

    void aDragOfSixPointsOffTheTileGoesBackToTheDock()
    {
        InterceptorOnTheDock dock;
        FakeDockPlatform &fakes = dock.fakes;
        const auto clicks = [&] { return int(dock.clicks.size()); };
        const QPointF down = centre(2);

        QVERIFY(!fakes.button(CGEventType::LeftMouseDown, down));
        QVERIFY(fakes.button(CGEventType::LeftMouseDragged, down + QPointF(5.9, 0)));
        QVERIFY(fakes.taps->posted.isEmpty());
        QVERIFY(!fakes.button(CGEventType::LeftMouseUp, down + QPointF(5.9, 0)));
        QTRY_COMPARE(clicks(), 1);

        // A hand that slips within the tile, however far, still clicks: the Dock would take a
        // press and a release on one tile for its own click.
        QVERIFY(!fakes.button(CGEventType::LeftMouseDown, down));
        for (const QPointF slip : {QPointF(0, -6), QPointF(20, 0), QPointF(-27, 27)})
            QVERIFY(fakes.button(CGEventType::LeftMouseDragged, down + slip));
        QVERIFY(fakes.taps->posted.isEmpty());
        QVERIFY(!fakes.button(CGEventType::LeftMouseUp, down + QPointF(20, 0)));
        QTRY_COMPARE(clicks(), 2);

        QVERIFY(!fakes.button(CGEventType::LeftMouseDown, down));
        QVERIFY(fakes.button(CGEventType::LeftMouseDragged, down + QPointF(0, -6)));
        QVERIFY(fakes.button(CGEventType::LeftMouseDragged, down + QPointF(0, -29))); // off the tile
        QCOMPARE(fakes.taps->posted.size(), 1);
        const CGEvent press = fakes.taps->posted.first().event;
        QCOMPARE(press.type, CGEventType::LeftMouseDown);
        QCOMPARE(press.location, down);
        QCOMPARE(press.integerValueField(CGEventField::EventSourceUserData), EventInterceptor::syntheticEventMarker);
        QCOMPARE(fakes.taps->posted.first().location, CGEventTapLocation::HID);
        // The marked press passes the tap itself, and so do the drag and the release.
        QVERIFY(fakes.taps->deliver(press));
        QVERIFY(fakes.button(CGEventType::LeftMouseDragged, down + QPointF(20, 0)));
        QVERIFY(fakes.button(CGEventType::LeftMouseUp, down));
        QCoreApplication::processEvents();
        QCOMPARE(clicks(), 2);
        QCOMPARE(fakes.taps->posted.size(), 1);
    }

    void aPassedPressKeepsItsReleaseButStillCounts()
    {
        InterceptorOnTheDock dock(false);
        FakeDockPlatform &fakes = dock.fakes;
        const auto clicks = [&] { return int(dock.clicks.size()); };
        QVERIFY(fakes.button(CGEventType::LeftMouseDown, centre(2)));
        // The Dock saw the press, so it sees the release too.
        QVERIFY(fakes.button(CGEventType::LeftMouseUp, centre(2)));
        QTRY_COMPARE(clicks(), 1);
        // Moved within the tile it is still a click; off the tile, a drag that is the Dock's.
        QVERIFY(fakes.button(CGEventType::LeftMouseDown, centre(2)));
        QVERIFY(fakes.button(CGEventType::LeftMouseDragged, centre(2) + QPointF(0, -12)));
        QVERIFY(fakes.button(CGEventType::LeftMouseUp, centre(2)));
        QTRY_COMPARE(clicks(), 2);
        QVERIFY(fakes.button(CGEventType::LeftMouseDown, centre(2)));
        QVERIFY(fakes.button(CGEventType::LeftMouseDragged, centre(2) + QPointF(0, -40)));
        QVERIFY(fakes.button(CGEventType::LeftMouseUp, centre(2)));
        QCoreApplication::processEvents();
        QCOMPARE(clicks(), 2);
        QVERIFY(fakes.taps->posted.isEmpty());
    }

    void secondaryEventsOnGroupTilesAreDroppedAndTheMarkerPasses()
    {
        InterceptorOnTheDock dock;
        FakeDockPlatform &fakes = dock.fakes;
        EventInterceptor &interceptor = dock.interceptor;
        for (CGEventType type : {CGEventType::RightMouseDown, CGEventType::RightMouseUp, CGEventType::OtherMouseDown,
                                 CGEventType::OtherMouseUp, CGEventType::Gesture}) {
            QVERIFY(!fakes.button(type, centre(2)));
            QVERIFY(fakes.button(type, centre(4)));
            QVERIFY(fakes.button(type, QPointF(700, 300)));
        }
        CGEvent marked = CGEvent::mouseEvent(CGEventType::LeftMouseDown, centre(3), CGMouseButton::Left);
        marked.setIntegerValueField(CGEventField::EventSourceUserData, EventInterceptor::syntheticEventMarker);
        QVERIFY(fakes.taps->deliver(marked));
        marked.type = CGEventType::RightMouseDown;
        QVERIFY(fakes.taps->deliver(marked));
        QVERIFY(!interceptor.swallowedDown);
    }

    void aMissedReleaseNeverDecidesALaterGesture()
    {
        InterceptorOnTheDock dock;
        FakeDockPlatform &fakes = dock.fakes;
        EventInterceptor &interceptor = dock.interceptor;
        const auto clicks = [&] { return int(dock.clicks.size()); };

        // A held press whose release never came, then an unrelated drag elsewhere.
        QVERIFY(!fakes.button(CGEventType::LeftMouseDown, centre(3)));
        QVERIFY(fakes.button(CGEventType::LeftMouseDown, QPointF(700, 300)));
        QVERIFY(fakes.button(CGEventType::LeftMouseDragged, QPointF(760, 300)));
        QVERIFY(fakes.button(CGEventType::LeftMouseUp, QPointF(760, 300)));
        QVERIFY(fakes.taps->posted.isEmpty()); // no press re-posted at the old tile
        // The same when the tap stopped seeing events and was started again.
        QVERIFY(!fakes.button(CGEventType::LeftMouseDown, centre(3)));
        fakes.taps->liveTaps().first()->setEnabled(false);
        interceptor.startEventTap(groupNames(), groupPaths());
        QVERIFY(!interceptor.swallowedDown && !interceptor.pendingClick);
        QVERIFY(fakes.button(CGEventType::LeftMouseUp, centre(3)));
        QCoreApplication::processEvents();
        QCOMPARE(clicks(), 0);
    }

    // The mode is applied again as the copy of a new Dock's tiles comes in, which may fall between
    // a press and its release: a tap that stays in place saw both, and the click is the user's.
    void aClickKeepsItsReleaseAcrossAModeAppliedAgain()
    {
        for (const bool hold : {true, false}) {
            InterceptorOnTheDock dock(hold);
            FakeDockPlatform &fakes = dock.fakes;
            for (int round = 1; round <= 3; ++round) {
                QCOMPARE(fakes.button(CGEventType::LeftMouseDown, centre(3)), !hold);
                dock.interceptor.startEventTap(groupNames(), groupPaths());
                QCOMPARE(fakes.taps->liveTaps().size(), 1);
                QCOMPARE(fakes.button(CGEventType::LeftMouseUp, centre(3)), !hold);
                QTRY_COMPARE(dock.clicks.size(), round);
            }
            QVERIFY(fakes.taps->posted.isEmpty());
        }
    }

    void aTapTheSystemSwitchedOffIsSwitchedOnAgain()
    {
        InterceptorOnTheDock dock;
        FakeDockPlatform &fakes = dock.fakes;
        EventInterceptor &interceptor = dock.interceptor;
        int told = 0;
        interceptor.onTapDisabled = [&] { ++told; };
        QVERIFY(!fakes.button(CGEventType::LeftMouseDown, centre(2)));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("click tap was disabled")));
        fakes.taps->disableByTimeout(fakes.taps->liveTaps().first());
        QVERIFY(fakes.taps->liveTaps().first()->isEnabled());
        QVERIFY(!interceptor.swallowedDown);
        QTRY_COMPARE(told, 1);
        QVERIFY(!fakes.button(CGEventType::RightMouseDown, centre(2)));
    }

    // Mouse tracker

    void graceAndMarginsFollowTheSettings_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("autohide");
        QTest::addColumn<QString>("sensitivity");
        QTest::addColumn<QString>("closeDelay");
        QTest::addColumn<double>("grace");
        QTest::addColumn<double>("edge");
        QTest::addColumn<double>("interior");
        const int bottom = int(DockPosition::Bottom), side = int(DockPosition::Left);
        // Every sensitivity with every close delay, bottom Dock shown.
        const QList<std::tuple<QString, double, double, double>> sensitivities{
            {QStringLiteral("fast"), 0.30, 14, 22}, {QStringLiteral("balanced"), 0.30, 8, 10},
            {QStringLiteral("steady"), 0.345, 6, 14}, {QStringLiteral("jittery"), 0.30, 8, 10}};
        const QList<std::pair<QString, double>> delays{
            {QStringLiteral("short"), 0.72}, {QStringLiteral("normal"), 1.0}, {QStringLiteral("long"), 1.4}, {QString(), 1.0}};
        for (const auto &[sensitivity, grace, edge, interior] : sensitivities) {
            for (const auto &[delay, factor] : delays)
                QTest::addRow("%s %s", qPrintable(sensitivity), qPrintable(delay))
                    << bottom << false << sensitivity << delay << std::max(grace * factor, 0.08) << edge << interior;
        }
        QTest::newRow("bottom hidden fast short") << bottom << true << "fast" << "short" << 0.2592 << 12.0 << 40.0;
        QTest::newRow("bottom hidden steady") << bottom << true << "steady" << "normal" << 0.414 << 6.0 << 20.0;
        QTest::newRow("side shown") << side << false << "balanced" << "normal" << 0.30 << 8.0 << 12.0;
        QTest::newRow("side hidden") << side << true << "balanced" << "long" << 0.504 << 6.0 << 30.0;
        QTest::newRow("side shown steady") << side << false << "steady" << "normal" << 0.345 << 6.0 << 14.0;
    }

    void graceAndMarginsFollowTheSettings()
    {
        QFETCH(int, position);
        QFETCH(bool, autohide);
        QFETCH(QString, sensitivity);
        QFETCH(QString, closeDelay);
        QFETCH(double, grace);
        QFETCH(double, edge);
        QFETCH(double, interior);
        const HoverTuning tuning = HoverTuning::compute(DockPosition(position), autohide, sensitivity, closeDelay);
        QCOMPARE(tuning.hoverDelay, 0.0);
        QVERIFY2(qAbs(tuning.graceDelay - grace) < 1e-9, qPrintable(QString::number(tuning.graceDelay)));
        QCOMPARE(tuning.edgeMargin, edge);
        QCOMPARE(tuning.interiorMargin, interior);
    }

    void theZoneReachesPastTheDock()
    {
        const QRectF bottom(0, 0, 1440, 70);
        QCOMPARE(HoverTuning::dockZoneRect(bottom, DockPosition::Bottom, 8, 10), QRectF(-18, -8, 1476, 88));
        QCOMPARE(HoverTuning::dockZoneRect(QRectF(0, 0, 70, 900), DockPosition::Left, 8, 12), QRectF(-8, -18, 90, 936));
        QCOMPARE(HoverTuning::dockZoneRect(QRectF(1370, 0, 70, 900), DockPosition::Right, 8, 12), QRectF(1358, -18, 90, 936));

        FakeDockPlatform fakes;
        UserDefaults::standard().setValue(QStringLiteral("hoverSensitivity"), QStringLiteral("steady"));
        UserDefaults::standard().setValue(QStringLiteral("closeDelay"), QStringLiteral("long"));
        QVERIFY(qAbs(HoverTuning::current().graceDelay - 0.483) < 1e-9);
        UserDefaults::standard().remove(QStringLiteral("hoverSensitivity"));
        UserDefaults::standard().remove(QStringLiteral("closeDelay"));
        QCOMPARE(HoverTuning::current().graceDelay, 0.30);
    }

    void theFirstHoverNeedsTheHitRectangleAndNeighboursFollow()
    {
        FakeDockPlatform fakes;
        setStandardTiles(fakes);
        MouseTracker tracker;
        QStringList hovers;
        tracker.onHoverDockItem = [&](const DockItemInfo &item) { hovers.append(item.title); };
        tracker.startTracking(groupNames(), groupPaths());
        QCOMPARE(fakes.taps->liveTaps().first()->options, CGEventTapOptions::ListenOnly);

        const QRectF work = FakeDockPlatform::bottomTile(2);
        fakes.movePointer(QPointF(work.left() + 2, work.center().y())); // on the tile, outside its hit part
        QCoreApplication::processEvents();
        QVERIFY(hovers.isEmpty());
        fakes.movePointer(work.center());
        QTRY_COMPARE(hovers, QStringList{QStringLiteral("Work")});
        fakes.movePointer(work.center() + QPointF(5, 5));
        QCoreApplication::processEvents();
        QCOMPARE(hovers.size(), 1);
        // Once hovering, the edge of the neighbouring group tile is enough.
        fakes.movePointer(QPointF(FakeDockPlatform::bottomTile(3).left() + 1, work.center().y()));
        QTRY_COMPARE(hovers, (QStringList{QStringLiteral("Work"), QStringLiteral("Play")}));
        // A tile without URL that carries a group's name counts by its title.
        tracker.resetHoverState();
        fakes.movePointer(centre(1));
        QTRY_COMPARE(hovers.last(), QStringLiteral("Work"));
        QCOMPARE(MouseTracker::hoverKey(DockItemInfo{{}, QRectF(12.7, 850.2, 48, 48), {}, {}}), QStringLiteral("frame:12:850:48:48"));
    }

    void movesAreCoalescedIntoOneLook()
    {
        FakeDockPlatform fakes;
        setStandardTiles(fakes);
        MouseTracker tracker;
        int hovers = 0;
        tracker.onHoverDockItem = [&](const DockItemInfo &) { ++hovers; };
        tracker.startTracking(groupNames(), groupPaths());
        const int before = fakes.accessibility->elementAtPositionRequests;
        for (int i = 0; i < 20; ++i)
            fakes.movePointer(QPointF(300 + i, 500));
        fakes.movePointer(centre(3)); // the latest place wins
        QTRY_COMPARE(hovers, 1);
        QCoreApplication::processEvents();
        QCOMPARE(fakes.accessibility->elementAtPositionRequests - before, 1);
        // Stopped, it looks at nothing.
        tracker.stopTracking();
        QVERIFY(fakes.taps->liveTaps().isEmpty());
        fakes.movePointer(centre(2));
        QCoreApplication::processEvents();
        QCOMPARE(hovers, 1);
    }

    void theLeaveComesAfterTheGraceOutsideTheZoneAndInside()
    {
        FakeDockPlatform fakes;
        setStandardTiles(fakes);
        UserDefaults::standard().setValue(QStringLiteral("closeDelay"), QStringLiteral("short")); // 0.216 s
        MouseTracker tracker;
        int hovers = 0, leaves = 0;
        bool insidePopup = false;
        tracker.onHoverDockItem = [&](const DockItemInfo &) { ++hovers; };
        tracker.onLeaveDockItem = [&] { ++leaves; };
        tracker.isMouseInsidePopup = [&] { return insidePopup; };
        tracker.startTracking(groupNames(), groupPaths());

        // Outside the zone the grace runs from the first move and is not restarted.
        fakes.movePointer(centre(2));
        QTRY_COMPARE(hovers, 1);
        fakes.movePointer(QPointF(700, 300));
        QTRY_VERIFY(tracker.isLeaveGraceRunning());
        QTRY_COMPARE(leaves, 1);
        QVERIFY(!tracker.currentHoveredItemKey());

        // Inside the zone, on a tile of no group: the leave comes after the last move there.
        fakes.movePointer(centre(3));
        QTRY_COMPARE(hovers, 2);
        fakes.movePointer(centre(4));
        QTRY_VERIFY(tracker.isLeaveGraceRunning());
        QTRY_COMPARE(leaves, 2);

        // When the grace ends over the popup, nothing is reported and the tile stays hovered.
        fakes.movePointer(centre(3));
        QTRY_COMPARE(hovers, 3);
        insidePopup = true;
        fakes.movePointer(QPointF(700, 300));
        QTRY_VERIFY(!tracker.isLeaveGraceRunning());
        QCOMPARE(leaves, 2);
        QVERIFY(tracker.currentHoveredItemKey());
        // Back on the tile: the same tile is not reported again.
        fakes.movePointer(centre(3));
        QCoreApplication::processEvents();
        QCOMPARE(hovers, 3);
        UserDefaults::standard().remove(QStringLiteral("closeDelay"));
    }

    void whileThePopupShowsTheTrackerFollowsTilesAndNeverLeaves()
    {
        FakeDockPlatform fakes;
        setStandardTiles(fakes);
        MouseTracker tracker;
        QStringList hovers;
        int leaves = 0;
        bool showing = true;
        tracker.onHoverDockItem = [&](const DockItemInfo &item) { hovers.append(item.title); };
        tracker.onLeaveDockItem = [&] { ++leaves; };
        tracker.isPopupShowing = [&] { return showing; };
        tracker.isMouseInsidePopup = [] { return false; };
        tracker.startTracking(groupNames(), groupPaths());

        // From group tile to group tile it follows.
        fakes.movePointer(centre(2));
        QTRY_COMPARE(hovers.size(), 1);
        fakes.movePointer(centre(3));
        QTRY_COMPARE(hovers, (QStringList{QStringLiteral("Work"), QStringLiteral("Play")}));

        // Resting just past the tile's edge, in the gap towards the panel or far away starts no
        // grace: whether the popup goes is for its owner and the popup to say.
        const QRectF play = FakeDockPlatform::bottomTile(3);
        for (const QPointF &rest : {QPointF(play.center().x(), play.top() - 3), QPointF(play.right() + 2, play.center().y()),
                                    QPointF(700, 300)}) {
            fakes.movePointer(rest);
            QCoreApplication::processEvents();
            QTest::qWait(600); // longer than any grace
            QVERIFY(!tracker.isLeaveGraceRunning());
            QCOMPARE(leaves, 0);
            QVERIFY(tracker.currentHoveredItemKey());
        }
        QCOMPARE(hovers.size(), 2);

        // A grace that began before the popup showed and ends while the popup counts the pointer
        // as its own (a popup just opened by a hot key) reports nothing.
        showing = false;
        bool popupHasPointer = false;
        tracker.isMouseInsidePopup = [&] { return popupHasPointer; };
        fakes.movePointer(centre(3));
        QCoreApplication::processEvents();
        fakes.movePointer(QPointF(700, 300));
        QTRY_VERIFY(tracker.isLeaveGraceRunning());
        showing = true;
        popupHasPointer = true;
        QTRY_VERIFY_WITH_TIMEOUT(!tracker.isLeaveGraceRunning(), 10000);
        QTest::qWait(600);
        QCOMPARE(leaves, 0);
        QVERIFY(tracker.currentHoveredItemKey());
    }

    // Permission manager

    void permissionChangesAreReportedOnce()
    {
        FakeDockPlatform fakes;
        fakes.accessibility->trusted = true;
        PermissionManager manager;
        QVERIFY(manager.isAccessibilityGranted());
        QList<bool> changes;
        manager.onAccessibilityChanged = [&](bool granted) {
            QCOMPARE(manager.isAccessibilityGranted(), granted);
            changes.append(granted);
        };
        QSignalSpy observed(&manager, &PermissionManager::accessibilityGrantedChanged);
        manager.refreshAccessibilityStatus();
        QVERIFY(changes.isEmpty());
        fakes.accessibility->trusted = false;
        manager.refreshAccessibilityStatus();
        manager.refreshAccessibilityStatus();
        QCOMPARE(changes, QList<bool>{false});
        // A grant given meanwhile arrives with the poll.
        fakes.accessibility->trusted = true;
        QTRY_COMPARE_WITH_TIMEOUT(changes, (QList<bool>{false, true}), 10000);
        QCOMPARE(observed.count(), 2);
        QCOMPARE(fakes.accessibility->promptCount, 0);
    }
};

KESTROWAN_TEST_MAIN(TestDockWatchers)
#include "tst_dockwatchers.moc"
