// The hovered popup stays while the hand is on its way or at rest: the real program in hover mode
// against the stand-in Dock on a real X server, driven with XTest. The Dock's band pushes a tall
// popup further from its tile than the margin around the panel reaches; the way between counts all
// the same. Typing a search resizes the panel under a resting pointer without moving it off its
// tile or away from the pointer.

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/groups/AppGroup.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/app/ProgramProcess.h"
#include "tests/app/X11Windows.h"
#include "tests/dock/ProgramWindows.h"
#include "tests/dock/StandinDockSession.h"
#include "tests/dock/XTestKeyboard.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>

using namespace ProgramWindows;

namespace {

// Longer than every grace and delay of the hover road: a popup still up after it stays.
constexpr int restMilliseconds = 1200;
// The pace of a hand gliding from the tile into the popup, per step.
constexpr int glideStepMilliseconds = 200;

QString describe(const QRect &rect)
{
    return QStringLiteral("%1,%2 %3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

} // namespace

class TestPopupStaysXvfb : public QObject {
    Q_OBJECT

private:
    StandinDockSession m_dock;
    XTestPointer m_pointer;
    XTestKeyboard m_keyboard;
    QProcess m_program;
    QStringList m_log;
    QString m_tall, m_short, m_alpha;

    AppGroup makeGroup(const QString &name, int count)
    {
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = name;
        group.displayStyle = AppGroup::DisplayStyle::List;
        for (int i = 1; i <= count; ++i) {
            const QString note = m_dock.home + QStringLiteral("/Documents/%1 %2.txt").arg(name).arg(i);
            QDir().mkpath(QFileInfo(note).path());
            QFile(note).open(QIODevice::WriteOnly);
            group.apps.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + note, QStringLiteral("Note %1").arg(i), note});
        }
        return group;
    }

    bool waitForLine(const QString &text, int timeout = roadTimeout)
    {
        return QTest::qWaitFor([&] { return !m_log.filter(text).isEmpty(); }, timeout);
    }

    void startProgram()
    {
        m_log.clear();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("com.kestrowan.*=true"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        QVERIFY(ProgramProcess::start(m_program, QStringLiteral(KESTROWAN_PROGRAM), environment));
        QVERIFY(waitForLine(QStringLiteral("Runtime bootstrap complete")));
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
        ProgramWindows::stopProgram(m_program);
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
        QVERIFY2(m_pointer.isValid() && m_keyboard.isValid(), "needs an X server");
        QVERIFY(TrustStore::grant(QFileInfo(QStringLiteral(KESTROWAN_PROGRAM)).canonicalFilePath()));
        const QList<AppGroup> groups{makeGroup(QStringLiteral("Tall"), 9), makeGroup(QStringLiteral("Short"), 2)};
        const QString storage = m_dock.home + QStringLiteral("/.local/share/Kestrowan");
        QDir().mkpath(storage);
        QFile groupsFile(storage + QStringLiteral("/groups.json"));
        QVERIFY(groupsFile.open(QIODevice::WriteOnly));
        groupsFile.write(QJsonDocument(AppGroup::listToJson(groups)).toJson());
        groupsFile.close();
        m_tall = m_dock.makeGroupFolder(groups.at(0).name, groups.at(0).id);
        m_short = m_dock.makeGroupFolder(groups.at(1).name, groups.at(1).id);
        m_alpha = m_dock.makeApplication(QStringLiteral("Alpha"));
        m_dock.writePreferences(QStringLiteral("bottom"), false, {m_alpha}, {m_tall, m_short});
        QVERIFY(m_dock.start() > 0);
        SettingsFileUserDefaults defaults(QString{});
        defaults.setValue(QStringLiteral("interactionMode"), QStringLiteral("hover"));
        defaults.setValue(QStringLiteral("didCompleteOnboarding"), true);
        // The Dock makes room for a regular program's tile; kept regular, the tiles stay put.
        defaults.setValue(QStringLiteral("showInDock"), true);
        defaults.synchronize();
        collectOutput(m_program, m_log);
    }

    void cleanup()
    {
        if (QTest::currentTestFailed()) {
            for (const QString &line : std::as_const(m_log))
                qInfo("program: %s", qPrintable(line));
            for (const QRect &window : windowsOfProcess(m_program.processId()))
                qInfo("window: %s", qPrintable(describe(window)));
            for (const DockItemInfo &item : DockPositionResolver::readDockItems())
                qInfo("tile %s: %s", qPrintable(item.title), qPrintable(describe(item.frame.toRect())));
        }
    }

    void cleanupTestCase() { ProgramWindows::stopProgram(m_program); }

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
};

KESTROWAN_TEST_MAIN(TestPopupStaysXvfb)
#include "tst_popupstays_xvfb.moc"
