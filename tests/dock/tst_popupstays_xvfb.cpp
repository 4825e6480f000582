// The hovered popup stays while the hand is on its way or at rest: the real program in hover mode
// against the stand-in Dock on a real X server, driven with XTest. The Dock's band pushes a tall
// popup further from its tile than the margin around the panel reaches; the way between counts all
// the same. Typing a search resizes the panel under a resting pointer without moving it off its
// tile or away from the pointer.

#include "tests/app/ProgramRoad.h"
#include "tests/support/TestMain.h"

#include <QFile>

using namespace ProgramWindows;

namespace {

// Longer than every grace and delay of the hover road: a popup still up after it stays.
constexpr int restMilliseconds = 1200;
// The pace of a hand gliding from the tile into the popup, per step.
constexpr int glideStepMilliseconds = 200;

} // namespace

class TestPopupStaysXvfb : public QObject, private ProgramRoad {
    Q_OBJECT

private:
    QString m_tall, m_short, m_alpha;

    AppGroup makeGroup(const QString &name, int count)
    {
        return makeNotesGroup(name, numberedNotes(name, count), AppGroup::DisplayStyle::List);
    }

    void startProgram()
    {
        QVERIFY(launchProgram());
        QTRY_VERIFY_WITH_TIMEOUT(tileOf(QStringLiteral("Tall")) && tileOf(QStringLiteral("Kestrowan")), roadTimeout);
        // The program starts its Dock watchers afresh twice in its first second or so, which also
        // closes any popup: what follows must be the program's doing, not theirs.
        QTRY_COMPARE_WITH_TIMEOUT(int(m_log.filter(QStringLiteral("Startup recovery pass at")).size()), 2, roadTimeout);
        // The user works elsewhere: the main window is closed, the program stays.
        QVERIFY(closeMainWindow(m_program.processId()));
    }

    std::optional<QRect> shownPopup() const { return popupOf(m_program.processId()); }

    // The Dock moved to `edge` and started again, the program with it, the pointer away from both.
    void dockAt(const QString &edge)
    {
        stopProgram();
        m_pointer.move(QPoint(500, 300));
        m_dock.writePreferences(edge, false, {m_alpha}, {m_tall, m_short});
        QVERIFY(m_dock.restart() > 0);
        startProgram();
    }

    // Rests the pointer at `point` for longer than any delay of the hover road: the popup is still
    // there, where it was.
    void restAndStillShown(const QPoint &point, const QRect &popup, const QString &what)
    {
        m_pointer.move(point);
        QTest::qWait(restMilliseconds); // checks that nothing happens in that time
        const std::optional<QRect> after = shownPopup();
        QVERIFY2(after == popup, qPrintable(what + QStringLiteral(": ") + (after ? describe(*after) : QStringLiteral("closed"))));
    }

    // Resting at every point between the tile and the panel, and gliding from the tile into the
    // panel: the popup stays. The tile lies `toward` the panel's facing edge (one unit step).
    void theWayBetweenCounts(const QPoint &toward)
    {
        const std::optional<QRect> popup = hoverUntilAnyPopup(m_pointer, m_program.processId(), QStringLiteral("Tall"));
        QVERIFY(popup);
        const std::optional<DockItemInfo> tile = tileOf(QStringLiteral("Tall"));
        QVERIFY(tile);
        const QRect frame = tile->frame.toRect();
        // Where the panel's facing edge stands from the tile's: further than the margin around the
        // panel (8) reaches.
        const int gap = toward.y() ? frame.top() - popup->bottom() - 1 : popup->left() - frame.right() - 1;
        QVERIFY2(gap > 8, qPrintable(QStringLiteral("gap %1").arg(gap)));
        const QPoint centre = frame.center();
        for (int step = 1; step < gap; ++step) {
            const QPoint rest = toward.y() ? QPoint(centre.x(), frame.top() - step) : QPoint(frame.right() + step, centre.y());
            restAndStillShown(rest, *popup, QStringLiteral("%1 points off the tile").arg(step));
            if (QTest::currentTestFailed())
                return;
        }
        // Back on the tile, then up into the panel at a hand's pace, two points at a time across
        // the gap.
        m_pointer.move(centre);
        QTest::qWait(glideStepMilliseconds);
        const QPoint edge = toward.y() ? QPoint(centre.x(), frame.top()) : QPoint(frame.right(), centre.y());
        for (int step = 2; step <= gap + 24; step += 2) {
            m_pointer.move(edge - toward * step);
            QTest::qWait(glideStepMilliseconds);
            QVERIFY2(shownPopup() == popup, qPrintable(QStringLiteral("closed %1 points into the glide").arg(step)));
        }
        restAndStillShown(edge - toward * (gap + 24), *popup, QStringLiteral("in the panel"));
        // Away from both it closes, as ever.
        m_pointer.move(QPoint(QGuiApplication::primaryScreen()->geometry().width() - 60, 200));
        QVERIFY(QTest::qWaitFor([&] { return !shownPopup(); }, roadTimeout));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(canDrive(), "needs an X server");
        QVERIFY(grantDockAccess());
        const QList<AppGroup> groups{makeGroup(QStringLiteral("Tall"), 9), makeGroup(QStringLiteral("Short"), 2)};
        QVERIFY(writeGroups(groups));
        m_tall = mirrorFolder(groups.at(0));
        m_short = mirrorFolder(groups.at(1));
        m_alpha = m_dock.makeApplication(QStringLiteral("Alpha"));
        m_dock.writePreferences(QStringLiteral("bottom"), false, {m_alpha}, {m_tall, m_short});
        QVERIFY(m_dock.start() > 0);
        writeUserSettings(QStringLiteral("hover"));
    }

    void cleanup()
    {
        if (QTest::currentTestFailed()) {
            printProgramOutput();
            printWindowsAndTiles();
        }
    }

    void cleanupTestCase() { stopProgram(); }

    void theWayFromABottomTileCounts()
    {
        dockAt(QStringLiteral("bottom"));
        if (QTest::currentTestFailed())
            return;
        theWayBetweenCounts(QPoint(0, 1));
    }

    void theWayFromALeftTileCounts()
    {
        dockAt(QStringLiteral("left"));
        if (QTest::currentTestFailed())
            return;
        theWayBetweenCounts(QPoint(-1, 0));
    }

    // The pointer rests on the footer of a hovered popup while the user types a search that leaves
    // one item: the panel shrinks, but stays on its tile and under the pointer, and stays up; the
    // whole list comes back as the search is taken back. Again and again, as a user searches, with
    // the Dock at the bottom and on the left.
    void typingKeepsThePanelOnItsTileAndUnderThePointer_data()
    {
        QTest::addColumn<QString>("edge");
        QTest::newRow("bottom") << QStringLiteral("bottom");
        QTest::newRow("left") << QStringLiteral("left");
    }

    void typingKeepsThePanelOnItsTileAndUnderThePointer()
    {
        QFETCH(QString, edge);
        dockAt(edge);
        if (QTest::currentTestFailed())
            return;
        const bool bottom = edge == QLatin1String("bottom");
        for (int round = 1; round <= 3; ++round) {
            const QString what = QStringLiteral("round %1").arg(round);
            const std::optional<QRect> popup = hoverUntilAnyPopup(m_pointer, m_program.processId(), QStringLiteral("Tall"));
            QVERIFY2(popup, qPrintable(what));
            QVERIFY(waitUntilPopupGrown(*popup));
            const QRect tile = tileOf(QStringLiteral("Tall"))->frame.toRect();
            const auto gapOf = [&](const QRect &panel) { return bottom ? tile.top() - panel.bottom() : panel.left() - tile.right(); };
            const int gap = gapOf(*popup);
            // From the tile into the panel and on to its footer, where the hand rests.
            const QPoint footer(popup->center().x(), popup->bottom() - 16);
            QPoint at = tile.center();
            while (at != footer) {
                const QPoint step = footer - at;
                at += QPoint(std::clamp(step.x(), -8, 8), bottom || std::abs(step.x()) <= 8 ? std::clamp(step.y(), -8, 8) : 0);
                m_pointer.move(at);
            }
            QVERIFY2(QTest::qWaitFor([&] { return hasKeyboard(m_program.processId(), *popup); }, roadTimeout), qPrintable(what));
            const QImage before = grabScreen(*popup);
            m_keyboard.chord({}, '5'); // "Note 5" alone
            std::optional<QRect> narrowed;
            QVERIFY2(QTest::qWaitFor([&] { return (narrowed = shownPopup()) && narrowed->height() < popup->height(); }, roadTimeout),
                     qPrintable(what + QStringLiteral(": ") + (narrowed ? describe(*narrowed) : QStringLiteral("closed"))));
            QCOMPARE(gapOf(*narrowed), gap);
            QVERIFY2(narrowed->contains(footer), qPrintable(what + QStringLiteral(": ") + describe(*narrowed)));
            QTest::qWait(restMilliseconds); // checks that nothing happens in that time
            QVERIFY2(shownPopup() == narrowed, qPrintable(what));
            QVERIFY(grabScreen(*narrowed) != before);
            m_keyboard.chord({}, 0xff08); // BackSpace: every item again
            QVERIFY2(QTest::qWaitFor([&] { return shownPopup() == popup; }, roadTimeout), qPrintable(what));
            m_keyboard.chord({}, 0xff1b); // Escape
            QVERIFY2(QTest::qWaitFor([&] { return !shownPopup(); }, roadTimeout), qPrintable(what));
            // The hand leaves for somewhere else before it comes back to the tile.
            m_pointer.move(QPoint(QGuiApplication::primaryScreen()->geometry().width() - 60, 200));
            QTest::qWait(glideStepMilliseconds);
        }
    }

    // A hand that slips while it presses the tile of the popup it hovered open: the press and its
    // release, a few points apart on the same tile, are the program's click, which closes the
    // popup; the Dock never takes them for its own and opens the folder under the popup.
    void aPressThatSlipsWithinTheTileIsTheProgramsClick_data()
    {
        QTest::addColumn<QPoint>("slip");
        QTest::newRow("7 across") << QPoint(7, 0);
        QTest::newRow("10 up") << QPoint(0, -10);
        QTest::newRow("14 across and down") << QPoint(-10, 10);
        QTest::newRow("20 across") << QPoint(-20, 0);
    }

    void aPressThatSlipsWithinTheTileIsTheProgramsClick()
    {
        QFETCH(QPoint, slip);
        dockAt(QStringLiteral("bottom"));
        if (QTest::currentTestFailed())
            return;
        for (int round = 1; round <= 3; ++round) {
            const QString what = QStringLiteral("round %1").arg(round);
            QFile::remove(m_dock.openLog);
            const std::optional<QRect> popup = hoverUntilAnyPopup(m_pointer, m_program.processId(), QStringLiteral("Short"));
            QVERIFY2(popup, qPrintable(what));
            const QRect tile = tileOf(QStringLiteral("Short"))->frame.toRect();
            QVERIFY(tile.contains(tile.center() + slip));
            // Past the moment in which a click on the tile of a popup just hovered open is ignored.
            QTest::qWait(restMilliseconds);
            const int from = int(m_log.size());
            m_pointer.drag(tile.center(), tile.center() + slip);
            // The program closes the popup (the pointer still on the tile may hover it open again).
            QVERIFY2(waitForLine(QStringLiteral("A click on a group's tile closes the popup"), from),
                     qPrintable(what + QStringLiteral(": the program took no click; the Dock opened: ") + m_dock.opened().join(u' ')));
            QVERIFY2(m_dock.opened().isEmpty(), qPrintable(what + QStringLiteral(": the Dock opened ") + m_dock.opened().join(u' ')));
            m_pointer.move(QPoint(QGuiApplication::primaryScreen()->geometry().width() - 60, 200));
            QVERIFY2(QTest::qWaitFor([&] { return !shownPopup(); }, roadTimeout), qPrintable(what));
        }
    }
};

KESTROWAN_TEST_MAIN(TestPopupStaysXvfb)
#include "tst_popupstays_xvfb.moc"
