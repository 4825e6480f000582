// The popup's numbers: its size per style and item count, its place beside the anchor, and the two
// item lists that everything else works on.
#include "Kestrowan/popup/PopupLayout.h"
#include "tests/popup/PopupTestSupport.h"
#include "tests/support/TestMain.h"

using namespace PopupTest;
using Style = AppGroup::DisplayStyle;

Q_DECLARE_METATYPE(DockPosition)
Q_DECLARE_METATYPE(AppGroup::DisplayStyle)

class PopupLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void sizeTable_data()
    {
        QTest::addColumn<AppGroup::DisplayStyle>("style");
        QTest::addColumn<int>("items");
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("grid 0") << Style::Grid << 0 << QSizeF(482, 262);
        QTest::newRow("grid 4") << Style::Grid << 4 << QSizeF(482, 262);
        QTest::newRow("grid 5") << Style::Grid << 5 << QSizeF(482, 382);
        QTest::newRow("grid 8") << Style::Grid << 8 << QSizeF(482, 382);
        QTest::newRow("grid 12") << Style::Grid << 12 << QSizeF(482, 502);
        QTest::newRow("grid 13") << Style::Grid << 13 << QSizeF(482, 580);
        QTest::newRow("grid 100") << Style::Grid << 100 << QSizeF(482, 580);
        QTest::newRow("list 0") << Style::List << 0 << QSizeF(420, 202);
        QTest::newRow("list 1") << Style::List << 1 << QSizeF(420, 202);
        QTest::newRow("list 5") << Style::List << 5 << QSizeF(420, 458);
        QTest::newRow("list 6") << Style::List << 6 << QSizeF(420, 522);
        QTest::newRow("fan 7") << Style::Fan << 7 << QSizeF(420, 580);
        QTest::newRow("fan 50") << Style::Fan << 50 << QSizeF(420, 580);
    }
    void sizeTable()
    {
        QFETCH(AppGroup::DisplayStyle, style);
        QFETCH(int, items);
        QFETCH(QSizeF, size);
        QCOMPARE(PopupLayout::popupSize(numberedGroup(items, style)), size);
    }

    void hiddenItemNeverCounts()
    {
        AppGroup onlyHidden = group(QStringLiteral("Hidden"), {hiddenItem()}, Style::List);
        QCOMPARE(PopupLayout::popupSize(onlyHidden), QSizeF(420, 202));
        QVERIFY(PopupLayout::displayItems(onlyHidden).isEmpty());
        // Four real items and the hidden one still fit one grid row.
        AppGroup four = numberedGroup(4);
        four.apps.insert(2, hiddenItem());
        QCOMPARE(PopupLayout::popupSize(four), QSizeF(482, 262));
        QCOMPARE(PopupLayout::displayItems(four).size(), 4);
    }

    void placement_data()
    {
        QTest::addColumn<DockPosition>("edge");
        QTest::addColumn<QRectF>("anchor");
        QTest::addColumn<QRectF>("visible");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QPointF>("origin");
        const QRectF screen(0, 70, 1440, 805); // a bottom Dock 70 high, a menu bar 25 high
        QTest::newRow("bottom, centred over the tile")
            << DockPosition::Bottom << QRectF(700, 4, 60, 60) << screen << QSizeF(482, 262) << QPointF(489, 76);
        QTest::newRow("bottom, tile at the very left")
            << DockPosition::Bottom << QRectF(0, 4, 60, 60) << screen << QSizeF(482, 262) << QPointF(6, 76);
        QTest::newRow("bottom, tile at the very right")
            << DockPosition::Bottom << QRectF(1400, 4, 40, 60) << screen << QSizeF(420, 202) << QPointF(1014, 76);
        const QRectF leftDocked(65, 0, 1375, 875);
        QTest::newRow("left, beside the tile")
            << DockPosition::Left << QRectF(5, 400, 60, 60) << leftDocked << QSizeF(420, 202) << QPointF(73, 335);
        QTest::newRow("left, tile near the top")
            << DockPosition::Left << QRectF(5, 850, 60, 25) << leftDocked << QSizeF(420, 202) << QPointF(73, 665);
        const QRectF rightDocked(0, 0, 1375, 875);
        QTest::newRow("right, beside the tile")
            << DockPosition::Right << QRectF(1375, 400, 60, 60) << rightDocked << QSizeF(482, 580) << QPointF(885, 146);
        QTest::newRow("right, tile near the bottom")
            << DockPosition::Right << QRectF(1375, 0, 60, 40) << rightDocked << QSizeF(482, 580) << QPointF(885, 8);
        // A screen smaller than the panel: the lower-left corner stays inside.
        QTest::newRow("small screen")
            << DockPosition::Bottom << QRectF(150, 0, 40, 40) << QRectF(0, 40, 400, 300) << QSizeF(482, 580)
            << QPointF(6, 46);
        QTest::newRow("small screen, left Dock")
            << DockPosition::Left << QRectF(0, 100, 40, 40) << QRectF(40, 0, 360, 400) << QSizeF(420, 580)
            << QPointF(48, 8);
    }
    void placement()
    {
        QFETCH(DockPosition, edge);
        QFETCH(QRectF, anchor);
        QFETCH(QRectF, visible);
        QFETCH(QSizeF, size);
        QFETCH(QPointF, origin);
        QCOMPARE(PopupLayout::popupOrigin(size, anchor, edge, visible), origin);
    }

    // A screen whose usable area is lower than the panel: the panel takes what the area leaves
    // inside its margins, and placed there it lies wholly inside.
    void fittedToASmallScreen()
    {
        const QRectF small(0, 70, 800, 506);
        QCOMPARE(PopupLayout::fittedSize(QSizeF(482, 580), DockPosition::Bottom, small), QSizeF(482, 494));
        QCOMPARE(PopupLayout::fittedSize(QSizeF(420, 580), DockPosition::Left, QRectF(70, 0, 330, 576)), QSizeF(314, 560));
        QCOMPARE(PopupLayout::fittedSize(QSizeF(482, 262), DockPosition::Bottom, small), QSizeF(482, 262));
        QCOMPARE(PopupLayout::fittedSize(QSizeF(482, 580), DockPosition::Bottom, QRectF()), QSizeF(482, 580));
        const QSizeF size = PopupLayout::fittedSize(QSizeF(482, 580), DockPosition::Bottom, small);
        const QPointF origin = PopupLayout::popupOrigin(size, QRectF(380, 4, 60, 60), DockPosition::Bottom, small);
        QVERIFY(small.contains(QRectF(origin, size)));
    }

    void filtering()
    {
        const QList<AppItem> items{application(QStringLiteral("Safari")), application(QStringLiteral("Text Edit")),
                                   document(QStringLiteral("Notes"), QStringLiteral("/home/me/safari-notes.txt")),
                                   application(QStringLiteral("Calendar")), hiddenItem()};
        const QList<AppItem> shown = PopupLayout::displayItems(group(QStringLiteral("G"), items));
        auto names = [&](const QString &search) {
            QStringList found;
            for (const AppItem &item : PopupLayout::filteredItems(shown, search))
                found.append(item.name);
            return found;
        };
        QCOMPARE(names({}), QStringList({"Safari", "Text Edit", "Notes", "Calendar"}));
        // Any letter case, by name only: the path and the identifier are not searched.
        QCOMPARE(names(QStringLiteral("SAF")), QStringList({"Safari"}));
        QCOMPARE(names(QStringLiteral("example")), QStringList());
        // Untrimmed: a trailing space must be matched where it is typed.
        QCOMPARE(names(QStringLiteral("text ")), QStringList({"Text Edit"}));
        QCOMPARE(names(QStringLiteral("safari ")), QStringList());
        QCOMPARE(names(QStringLiteral("settings")), QStringList());
        QCOMPARE(names(QStringLiteral("a")), QStringList({"Safari", "Calendar"}));
    }

    void columnsAndScrolling()
    {
        QCOMPARE(PopupLayout::gridColumnCount(2), 3);
        QCOMPARE(PopupLayout::gridColumnCount(4), 4);
        QCOMPARE(PopupLayout::gridColumnCount(9), 6);
        QVERIFY(!PopupLayout::itemsScroll(Style::List, 0));
        QVERIFY(!PopupLayout::itemsScroll(Style::List, 5));
        QVERIFY(PopupLayout::itemsScroll(Style::List, 6));
        QVERIFY(PopupLayout::itemsScroll(Style::Fan, 1));
        QVERIFY(PopupLayout::itemsScroll(Style::Grid, 1));
    }
};

KESTROWAN_TEST_MAIN(PopupLayoutTest)
#include "tst_popuplayout.moc"
