// The Dock watchers end to end: the stand-in Dock on a real X server, read and watched through the
// program's own adapters, with the pointer driven through XTest.

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/dock/EventInterceptor.h"
#include "Kestrowan/dock/MouseTracker.h"
#include "tests/dock/StandinDockSession.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestMain.h"

#include <algorithm>
#include <QFileInfo>
#include <QScreen>

using namespace DockPositionResolver;

namespace {

QPoint centre(const DockItemInfo &item)
{
    return item.frame.center().toPoint();
}

} // namespace

class TestDockWatchXvfb : public QObject {
    Q_OBJECT

private:
    StandinDockSession m_dock;
    XTestPointer m_pointer;
    QString m_alpha, m_beta, m_work, m_play;

    QSet<QString> groupPaths() const { return {m_work, m_play}; }
    QSet<QString> groupNames() const { return {QStringLiteral("Work"), QStringLiteral("Play")}; }

    QList<DockItemInfo> waitForTiles(int count)
    {
        QList<DockItemInfo> items;
        [&] { QTRY_VERIFY_WITH_TIMEOUT((items = readDockItems()).size() == count, 20000); }();
        return items;
    }

    void useDock(const QString &orientation)
    {
        m_dock.writePreferences(orientation, false, {m_alpha, m_beta}, {m_work, m_play});
        QVERIFY(m_dock.restart() > 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_pointer.isValid(), "needs an X server");
        m_alpha = m_dock.makeApplication(QStringLiteral("Alpha"));
        m_beta = m_dock.makeApplication(QStringLiteral("Beta"));
        m_work = m_dock.makeFolder(QStringLiteral(".local/share/Kestrowan/Groups/Work"));
        m_play = m_dock.makeFolder(QStringLiteral(".local/share/Kestrowan/Groups/Play"));
        m_dock.writePreferences(QStringLiteral("bottom"), false, {m_alpha, m_beta}, {m_work, m_play});
        m_dock.requestLog = m_dock.home + QStringLiteral("/dock.log");
        QVERIFY(m_dock.start() > 0);
    }

    void tilesAgreeWithTheDrawnDock_data()
    {
        QTest::addColumn<QString>("orientation");
        QTest::newRow("bottom") << QStringLiteral("bottom");
        QTest::newRow("left") << QStringLiteral("left");
        QTest::newRow("right") << QStringLiteral("right");
    }

    void tilesAgreeWithTheDrawnDock()
    {
        QFETCH(QString, orientation);
        useDock(orientation);
        const QList<DockItemInfo> items = waitForTiles(4);
        QCOMPARE(currentDockPosition(), dockPositionFromOrientation(orientation));
        QCOMPARE(items[2].title, QStringLiteral("Work"));
        QCOMPARE(standardizedFilePath(*items[2].url), m_work);
        QCOMPARE(items[0].subrole, QStringLiteral("AXApplicationDockItem"));

        // Every tile lies in the Dock's band once the screen's usable area has left the band out.
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     const QRectF band = dockFrame();
                                     for (const DockItemInfo &item : items) {
                                         if (!band.contains(convertQuartzRectToAppKit(item.frame)))
                                             return false;
                                     }
                                     return true;
                                 }()),
                                 10000);
        const QRectF band = dockFrame();
        const QRectF screen = QGuiApplication::primaryScreen()->geometry();
        // The band starts at the screen's edge and is never thinner than 70 points.
        QVERIFY(qMin(band.width(), band.height()) >= 70);
        if (orientation == QLatin1String("bottom"))
            QCOMPARE(band.top(), 0.0);
        else if (orientation == QLatin1String("left"))
            QCOMPARE(band.left(), 0.0);
        else
            QVERIFY(band.left() + band.width() >= screen.width());

        // What is drawn at each tile's centre is that tile, and the hit tests find it there.
        // The bar may still be painting after a restart on a busy machine: wait until every tile shows.
        const auto everyTileDrawn = [&] {
            const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
            return std::all_of(items.cbegin(), items.cend(),
                               [&](const DockItemInfo &item) { return shot.pixelColor(centre(item)) != QColor(Qt::black); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(everyTileDrawn(), 10000);
        for (const DockItemInfo &item : items) {
            QCOMPARE(dockItemUnderPoint(item.frame.center(), 8)->title, item.title);
            QCOMPARE(hitTestDockItem(items, currentDockPosition(), item.frame.center())->title, item.title);
        }
    }

    void aPointerOverAGroupTileIsAHoverAndLeavingItALeave()
    {
        useDock(QStringLiteral("bottom"));
        const QList<DockItemInfo> items = waitForTiles(4);
        m_pointer.move(QPoint(700, 300));
        MouseTracker tracker;
        QStringList hovers;
        int leaves = 0;
        tracker.onHoverDockItem = [&](const DockItemInfo &item) { hovers.append(item.title); };
        tracker.onLeaveDockItem = [&] { ++leaves; };
        tracker.startTracking(groupNames(), groupPaths());
        QVERIFY(tracker.tapHandle.isRunning());
        // The Dock holds the tap once its answer is in: moves before that never meet it.
        QTRY_VERIFY_WITH_TIMEOUT(tracker.tapHandle.tap()->isHeld(), 10000);

        m_pointer.move(centre(items[0])); // an application: nothing
        m_pointer.move(centre(items[2]));
        QTRY_COMPARE_WITH_TIMEOUT(hovers, QStringList{QStringLiteral("Work")}, 10000);
        m_pointer.move(centre(items[3]));
        QTRY_COMPARE_WITH_TIMEOUT(hovers, (QStringList{QStringLiteral("Work"), QStringLiteral("Play")}), 10000);
        QCOMPARE(leaves, 0);
        m_pointer.move(QPoint(700, 300));
        QTRY_COMPARE_WITH_TIMEOUT(leaves, 1, 10000);
        QCOMPARE(hovers.size(), 2);
    }

    void aClickOnAGroupTileIsHeldAndADragStillMovesIt()
    {
        useDock(QStringLiteral("bottom"));
        QList<DockItemInfo> items = waitForTiles(4);
        QFile::remove(m_dock.openLog);
        EventInterceptor interceptor;
        QStringList clicks;
        interceptor.onClickDockItem = [&](const DockItemInfo &item) { clicks.append(item.title); };
        interceptor.shouldSwallowMouseDownDockItem = [](const DockItemInfo &) { return true; };
        interceptor.startEventTap(groupNames(), groupPaths());
        QVERIFY(interceptor.tapHandle.isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(interceptor.tapHandle.tap()->isHeld(), 10000);

        m_pointer.click(centre(items[2]));
        QTRY_COMPARE_WITH_TIMEOUT(clicks, QStringList{QStringLiteral("Work")}, 10000);
        // The Dock acts on events in order: once the application has opened, the held click had its
        // chance to open the folder, and did not.
        m_pointer.click(centre(items[0]));
        QTRY_COMPARE_WITH_TIMEOUT(m_dock.opened(), QStringList{m_alpha}, 10000);

        // A drag off the tile goes back to the Dock, which moves the tile off the bar. The hand is
        // slower than the program: the rest of the drag comes once the Dock has its press back.
        int markedPresses = 0;
        std::unique_ptr<EventTap> watch = EventTaps::shared().createTap(
            CGEventTapLocation::Session, CGEventTapPlacement::TailAppend, CGEventTapOptions::ListenOnly,
            eventMaskBit(CGEventType::LeftMouseDown), [&](CGEventType, const CGEvent &event) {
                markedPresses += event.integerValueField(CGEventField::EventSourceUserData)
                        == EventInterceptor::syntheticEventMarker ? 1 : 0;
                return EventTapVerdict::Pass;
            });
        QVERIFY(watch);
        m_pointer.move(centre(items[3]));
        m_pointer.press();
        m_pointer.move(centre(items[3]) + QPoint(0, -10));
        QTest::qWait(200); // checks that a slip within the tile goes nowhere in that time
        QCOMPARE(markedPresses, 0);
        m_pointer.move(centre(items[3]) + QPoint(0, -40));
        QTRY_COMPARE_WITH_TIMEOUT(markedPresses, 1, 10000);
        m_pointer.move(QPoint(700, 300));
        m_pointer.release();
        QTRY_COMPARE_WITH_TIMEOUT(readDockItems().size(), 3, 10000);
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(m_dock.opened(), QStringList{m_alpha});
    }

    // The mode is applied again several times as a Dock restarts (its screen area goes and comes,
    // its process changes, its tiles come in) while the click tap is on its way back to the new
    // Dock: the tap comes back once, and the first click on a group's tile is the program's. A tap
    // asked for again beside it would leave the Dock to act on what the one it replaced was asked.
    void aClickTapOnItsWayBackToANewDockIsAskedForOnce()
    {
        useDock(QStringLiteral("bottom"));
        QList<DockItemInfo> items = waitForTiles(4);
        EventInterceptor interceptor;
        QStringList clicks;
        interceptor.onClickDockItem = [&](const DockItemInfo &item) { clicks.append(item.title); };
        interceptor.shouldSwallowMouseDownDockItem = [](const DockItemInfo &) { return true; };
        interceptor.startEventTap(groupNames(), groupPaths());
        QTRY_VERIFY_WITH_TIMEOUT(interceptor.tapHandle.tap()->isHeld(), 10000);
        for (int round = 1; round <= 3; ++round) {
            const QByteArray what = "round " + QByteArray::number(round);
            QFile::remove(m_dock.openLog);
            const qint64 logged = QFileInfo(m_dock.requestLog).size();
            // The new Dock listens but does not answer yet: the tap's request waits in its socket.
            QVERIFY(m_dock.restartStopped() > 0);
            QTRY_VERIFY_WITH_TIMEOUT(!interceptor.tapHandle.tap()->isHeld(), 10000);
            for (int again = 0; again < 3; ++again) {
                interceptor.startEventTap(groupNames(), groupPaths());
                QCoreApplication::processEvents();
            }
            QVERIFY(m_dock.resume());
            QTRY_VERIFY_WITH_TIMEOUT(interceptor.tapHandle.tap() && interceptor.tapHandle.tap()->isHeld(), 10000);
            items = waitForTiles(4);
            clicks.clear();
            m_pointer.click(centre(items[2]));
            QTRY_COMPARE_WITH_TIMEOUT(clicks, QStringList{QStringLiteral("Work")}, 10000);
            m_pointer.click(centre(items[0]));
            QTRY_COMPARE_WITH_TIMEOUT(m_dock.opened(), QStringList{m_alpha}, 10000);
            QFile log(m_dock.requestLog);
            QVERIFY(log.open(QIODevice::ReadOnly) && log.seek(logged));
            const qsizetype asked = log.readAll().count("Request tap from");
            QVERIFY2(asked == 1, what + ": the new Dock was asked for " + QByteArray::number(asked) + " taps");
        }
    }
};

KESTROWAN_TEST_MAIN(TestDockWatchXvfb)
#include "tst_dockwatch_xvfb.moc"
