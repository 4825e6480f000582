// The Dock's geometry on fakes: tile reads, the hit tests, the Dock's band and the two spaces.

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Platform/fake/FakeDockPlatform.h"
#include "tests/support/TestMain.h"

#include <QMarginsF>

using namespace DockPositionResolver;

namespace {

DockItemInfo tile(const QString &title, const QRectF &frame)
{
    return DockItemInfo{title, frame, QStringLiteral("AXFolderDockItem"), std::nullopt};
}

QRectF centredAt(const QPointF &centre, const QSizeF &size)
{
    return QRectF(centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(), size.height());
}

} // namespace

class TestDockGeometry : public QObject {
    Q_OBJECT

private slots:
    void readsTilesAndSkipsWhatCannotBeRead()
    {
        FakeDockPlatform fakes;
        fakes.accessibility->setDockTiles({{QStringLiteral("Safari"), QStringLiteral("AXApplicationDockItem"), {}, FakeDockPlatform::bottomTile(0)},
                                           {QStringLiteral("Work"), QStringLiteral("AXFolderDockItem"),
                                            QUrl::fromLocalFile(QStringLiteral("/tmp/Groups/Work/")), FakeDockPlatform::bottomTile(1)},
                                           {QStringLiteral("Broken"), QStringLiteral("AXFolderDockItem"), {}, FakeDockPlatform::bottomTile(2)},
                                           {QString(), QString(), {}, FakeDockPlatform::bottomTile(3)}});
        // A tile without a position is no tile; a title of the wrong kind reads as empty, a size of
        // the wrong kind as nothing.
        fakes.accessibility->attributes[fakes.accessibility->tileElement(2).elementIdentifier].remove(QStringLiteral("AXPosition"));
        auto &last = fakes.accessibility->attributes[fakes.accessibility->tileElement(3).elementIdentifier];
        last.insert(QStringLiteral("AXTitle"), 42.0);
        last.insert(QStringLiteral("AXSize"), QStringLiteral("big"));

        const QList<DockItemInfo> items = readDockItems();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0].title, QStringLiteral("Safari"));
        QCOMPARE(items[0].subrole, QStringLiteral("AXApplicationDockItem"));
        QVERIFY(!items[0].url);
        QCOMPARE(items[0].frame, FakeDockPlatform::bottomTile(0));
        QCOMPARE(standardizedFilePath(*items[1].url), QStringLiteral("/tmp/Groups/Work"));
        QCOMPARE(items[2].title, QString());
        QVERIFY(!items[2].subrole);
        QCOMPARE(items[2].frame, QRectF(FakeDockPlatform::bottomTile(3).topLeft(), QSizeF()));

        fakes.accessibility->dockProcess.reset();
        QVERIFY(readDockItems().isEmpty());
        QVERIFY(!dockItemUnderPoint(FakeDockPlatform::bottomTile(0).center(), 12));
    }

    void pointSearchTakesTheNearestCentreWithinTheTolerance()
    {
        FakeDockPlatform fakes;
        fakes.accessibility->setDockTiles({{QStringLiteral("A"), QStringLiteral("AXApplicationDockItem"), {}, FakeDockPlatform::bottomTile(0)},
                                           {QStringLiteral("B"), QStringLiteral("AXApplicationDockItem"), {}, FakeDockPlatform::bottomTile(1)}});
        // In the 4-point gap between the tiles, nearer B's centre.
        QCOMPARE(dockItemAtPoint(QPointF(158.5, 860), 8)->title, QStringLiteral("B"));
        QCOMPARE(dockItemAtPoint(QPointF(157.5, 860), 8)->title, QStringLiteral("A"));
        QVERIFY(!dockItemAtPoint(QPointF(130, 820), 8));
        QCOMPARE(dockItemAtPoint(QPointF(130, 830), 8)->title, QStringLiteral("A"));
        // Equally near both: the earlier tile.
        QCOMPARE(dockItemAtPoint(QPointF(158, 865), 8)->title, QStringLiteral("A"));
        // The element at the point wins over the search; outside every tile the search decides.
        QCOMPARE(dockItemUnderPoint(QPointF(157, 860), 12)->title, QStringLiteral("A"));
        QCOMPARE(dockItemUnderPoint(QPointF(159, 860), 12)->title, QStringLiteral("B"));
    }

    void hitRectanglesAreInsetWithAMinimum()
    {
        QCOMPARE(hitRect(QRectF(0, 0, 40, 50)), QRectF(3.2, 5, 33.6, 40));
        QCOMPARE(hitRect(QRectF(0, 0, 10, 50)), QRectF(1, 5, 8, 40));
        // Too small to inset, or without an area: the frame itself.
        QCOMPARE(hitRect(QRectF(0, 0, 2, 2)), QRectF(0, 0, 2, 2));
        QCOMPARE(hitRect(QRectF(5, 5, 0, 20)), QRectF(5, 5, 0, 20));

        const QList<DockItemInfo> narrow{tile(QStringLiteral("narrow"), QRectF(0, 0, 10, 50))};
        QVERIFY(!hitTestDockItem(narrow, DockPosition::Bottom, QPointF(0.5, 25)));
        QVERIFY(hitTestDockItem(narrow, DockPosition::Bottom, QPointF(1, 25)));
        QVERIFY(hitTestDockItem(narrow, DockPosition::Bottom, QPointF(8.99, 25)));
        QVERIFY(!hitTestDockItem(narrow, DockPosition::Bottom, QPointF(9, 25)));
    }

    void theLowestScoreWinsAndTiesKeepTheEarlier()
    {
        const QPointF point(100, 100);
        const DockItemInfo across = tile(QStringLiteral("across"), centredAt(point + QPointF(3, 10), QSizeF(40, 50))); // 136
        const DockItemInfo along = tile(QStringLiteral("along"), centredAt(point + QPointF(6, 0), QSizeF(40, 50)));   // 144
        QCOMPARE(hitTestDockItem({across, along}, DockPosition::Bottom, point)->title, QStringLiteral("across"));
        QCOMPARE(hitTestDockItem({along, across}, DockPosition::Bottom, point)->title, QStringLiteral("across"));
        // On a side Dock the axes swap: "along" is now 6 across (36), "across" is 10 along (409).
        QCOMPARE(hitTestDockItem({across, along}, DockPosition::Left, point)->title, QStringLiteral("along"));

        const DockItemInfo mirrored = tile(QStringLiteral("mirrored"), centredAt(point - QPointF(3, 10), QSizeF(40, 50)));
        QCOMPARE(hitTestDockItem({across, mirrored}, DockPosition::Bottom, point)->title, QStringLiteral("across"));
        QCOMPARE(hitTestDockItem({mirrored, across}, DockPosition::Bottom, point)->title, QStringLiteral("mirrored"));
    }

    void orientationIsReadAfreshInAnyLetterCase()
    {
        FakeDockPlatform fakes;
        const QList<QPair<QVariant, DockPosition>> cases{
            {QStringLiteral("Left"), DockPosition::Left}, {QStringLiteral("RIGHT"), DockPosition::Right},
            {QStringLiteral("bottom"), DockPosition::Bottom}, {QString(), DockPosition::Bottom},
            {QStringLiteral("top"), DockPosition::Bottom}, {42, DockPosition::Bottom}};
        for (const auto &[value, expected] : cases) {
            fakes.preferences->values.insert(QStringLiteral("orientation"), value);
            QCOMPARE(currentDockPosition(), expected);
        }
        fakes.preferences->values.remove(QStringLiteral("orientation"));
        QCOMPARE(currentDockPosition(), DockPosition::Bottom);
        fakes.preferences->values.insert(QStringLiteral("orientation"), QStringLiteral("left"));
        fakes.preferences->damaged = true;
        QCOMPARE(currentDockPosition(), DockPosition::Bottom);
        QVERIFY(!dockAutohides());
    }

    void dockFrameIsAStripWhenHiddenAndABandWithAFloor_data()
    {
        QTest::addColumn<QString>("orientation");
        QTest::addColumn<bool>("autohide");
        QTest::addColumn<QMarginsF>("reserved"); // left, top, right, bottom of the visible frame
        QTest::addColumn<QRectF>("expected");
        QTest::newRow("right, hidden") << "right" << true << QMarginsF() << QRectF(1436, 0, 4, 900);
        QTest::newRow("left, hidden") << "left" << true << QMarginsF() << QRectF(0, 0, 4, 900);
        QTest::newRow("bottom, hidden") << "bottom" << true << QMarginsF() << QRectF(0, 0, 1440, 4);
        QTest::newRow("bottom, 50 reserved") << "bottom" << false << QMarginsF(0, 25, 0, 50) << QRectF(0, 0, 1440, 70);
        QTest::newRow("bottom, 90 reserved") << "bottom" << false << QMarginsF(0, 25, 0, 90) << QRectF(0, 0, 1440, 90);
        QTest::newRow("left, 80 reserved") << "left" << false << QMarginsF(80, 25, 0, 0) << QRectF(0, 0, 80, 900);
        QTest::newRow("right, 60 reserved") << "right" << false << QMarginsF(0, 25, 60, 0) << QRectF(1380, 0, 70, 900);
    }

    void dockFrameIsAStripWhenHiddenAndABandWithAFloor()
    {
        QFETCH(QString, orientation);
        QFETCH(bool, autohide);
        QFETCH(QMarginsF, reserved);
        QFETCH(QRectF, expected);
        FakeDockPlatform fakes;
        fakes.screens->list = {FakeScreens::make(QRectF(0, 0, 1440, 900), 900, 1, reserved)};
        fakes.setOrientation(orientation, autohide);
        QCOMPARE(dockFrame(), expected);
    }

    void theDockScreenIsTheOneAtTheDocksEdge()
    {
        FakeDockPlatform fakes;
        // A second screen below-left of the primary one and a third to its right.
        fakes.screens->list = {FakeScreens::make(QRectF(0, 0, 1440, 900), 900, 1),
                               FakeScreens::make(QRectF(-1280, 900, 1280, 800), 900, 2),
                               FakeScreens::make(QRectF(1440, 0, 1440, 900), 900, 3)};
        fakes.setOrientation(QStringLiteral("bottom"));
        QCOMPARE(dockScreen()->displayIdentifier, 2u);
        fakes.setOrientation(QStringLiteral("left"));
        QCOMPARE(dockScreen()->displayIdentifier, 2u);
        fakes.setOrientation(QStringLiteral("right"));
        QCOMPARE(dockScreen()->displayIdentifier, 3u);
        // Side by side at one height: the first in the system's list.
        fakes.screens->list.removeAt(1);
        fakes.setOrientation(QStringLiteral("bottom"));
        QCOMPARE(dockScreen()->displayIdentifier, 1u);
        // One screen: the main one.
        fakes.screens->list = {FakeScreens::make(QRectF(0, 0, 1440, 900), 900, 7)};
        fakes.screens->mainIndex.reset();
        QCOMPARE(dockScreen()->displayIdentifier, 7u);
        fakes.screens->list.clear();
        QVERIFY(!dockScreen());
        QCOMPARE(dockFrame(), QRectF());
    }

    void conversionsFlipAboutThePrimaryScreenAndRoundTrip()
    {
        FakeDockPlatform fakes;
        fakes.screens->list = {FakeScreens::make(QRectF(0, 0, 1440, 900), 900, 1),
                               FakeScreens::make(QRectF(1440, -200, 1920, 1080), 900, 2)};
        const QList<QPointF> points{{0, 0}, {720, 450}, {1439.5, 899.5}, {2000, -150}, {3000, 870}, {1440, 10}};
        for (const QPointF &p : points) {
            const QPointF q = convertAppKitPointToQuartz(p);
            QCOMPARE(q, QPointF(p.x(), 900 - p.y()));
            QCOMPARE(convertQuartzPointToAppKit(q), p);
        }
        QCOMPARE(convertQuartzRectToAppKit(QRectF(100, 837, 56, 56)), QRectF(100, 7, 56, 56));
    }

    void aPointOnABoundaryBelongsToTheScreenOnWhoseMinimumEdgeItLies()
    {
        FakeDockPlatform fakes;
        // The main screen is the second one, so a point on no screen is flipped with its height.
        fakes.screens->list = {FakeScreens::make(QRectF(0, 0, 1440, 900), 900, 1),
                               FakeScreens::make(QRectF(1440, 0, 1920, 1080), 900, 2)};
        fakes.screens->mainIndex = 1;
        QCOMPARE(convertQuartzPointToAppKit(QPointF(1440, 500)), QPointF(1440, 400));
        QCOMPARE(convertQuartzPointToAppKit(QPointF(3360, 500)), QPointF(3360, 580));
        QCOMPARE(convertAppKitPointToQuartz(QPointF(3360, 400)), QPointF(3360, 680));
        QCOMPARE(convertQuartzRectToAppKit(QRectF(3400, 100, 20, 20)), QRectF(3400, 960, 20, 20));
        // A screen without a display number takes no part.
        fakes.screens->list[1].displayIdentifier.reset();
        QCOMPARE(convertQuartzPointToAppKit(QPointF(1440, 500)), QPointF(1440, 580));
        fakes.screens->list.clear();
        QCOMPARE(convertQuartzPointToAppKit(QPointF(10, 20)), QPointF(10, -20));
    }
};

KESTROWAN_TEST_MAIN(TestDockGeometry)
#include "tst_dockgeometry.moc"
