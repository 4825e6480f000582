// The program itself against the stand-in Dock on a real X server: a temporary home with two groups
// whose folders stand in the Dock, and the pointer and keyboard driven through XTest. The popup is
// found among the program's windows on the X server.

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/groups/AppGroup.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "tests/dock/ProgramGroups.h"
#include "tests/dock/ProgramWindows.h"
#include "tests/dock/StandinDockSession.h"
#include "tests/app/ProgramProcess.h"
#include "tests/app/X11Windows.h"
#include "tests/dock/XTestKeyboard.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QImage>
#include <QScreen>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>

using namespace DockPositionResolver;

namespace {

constexpr int roadTimeout = 20000;
// The stand-in Dock's menu-bar strip along the top of the screen, where the display has no tray.
constexpr int menuBarStripHeight = 24;

// The viewable windows of one process, in root coordinates.
QList<QRect> windowsOfProcess(qint64 pid)
{
    QList<QRect> windows;
    for (const X11Windows::Window &window : X11Windows().all()) {
        if (window.viewable && window.pid == pid)
            windows.append(window.geometry);
    }
    return windows;
}

// Where a popup beside `anchor` (window space) would be: its edge within a few points of the
// anchor's far side, across from the Dock, and centred on the anchor along it.
bool isBesideAbove(const QRect &window, const QRect &anchor)
{
    const int gap = anchor.top() - (window.top() + window.height());
    return gap >= 0 && gap <= 16 && qAbs(window.center().x() - anchor.center().x()) <= 4;
}

} // namespace

class TestDockRoadsXvfb : public QObject {
    Q_OBJECT

private:
    StandinDockSession m_dock;
    XTestPointer m_pointer;
    XTestKeyboard m_keyboard;
    QProcess m_program;
    QStringList m_log;
    QList<AppGroup> m_groups;
    QString m_work, m_play, m_alpha;

    QString mirrorFolder(const AppGroup &group) { return m_dock.makeGroupFolder(group.name, group.id); }

    void startProgram(const QString &interactionMode)
    {
        // The Dock makes room for a regular program's tile; kept regular, the tiles stay put.
        const QProcessEnvironment environment = ProgramWindows::interactionStart(interactionMode, true);
        m_log.clear();
        QVERIFY(ProgramProcess::start(m_program, QStringLiteral(KESTROWAN_PROGRAM), environment));
        QVERIFY(waitForLine(QStringLiteral("Runtime bootstrap complete")));
        // The Dock shows the running program on a tile of its own once the program has a window.
        QTRY_COMPARE_WITH_TIMEOUT(readDockItems().size(), 4, roadTimeout);
    }

    void stopProgram()
    {
        m_program.terminate();
        if (!m_program.waitForFinished(10000)) {
            m_program.kill();
            m_program.waitForFinished();
        }
    }

    bool waitForLine(const QString &text, int from = 0, int timeout = roadTimeout)
    {
        return QTest::qWaitFor([&] { return lineIndex(text, from) >= 0; }, timeout);
    }

    int lineIndex(const QString &text, int from = 0) const
    {
        for (int i = from; i < m_log.size(); ++i) {
            if (m_log.at(i).contains(text))
                return i;
        }
        return -1;
    }

    // The program's popup beside the anchor (window space), once it shows.
    std::optional<QRect> popupBeside(const QRect &anchor) const
    {
        for (const QRect &window : windowsOfProcess(m_program.processId())) {
            if (isBesideAbove(window, anchor))
                return window;
        }
        return std::nullopt;
    }

    bool waitForPopupBeside(const QRect &anchor, int timeout = roadTimeout)
    {
        return QTest::qWaitFor([&] { return popupBeside(anchor).has_value(); }, timeout);
    }

    // The group's tile where the Dock has it now: the Dock makes room for the program's own tile
    // while it runs.
    std::optional<DockItemInfo> tileOf(const QString &group) const
    {
        for (const DockItemInfo &item : readDockItems()) {
            if (item.title == group)
                return item;
        }
        return std::nullopt;
    }

    // The popup beside a group's tile, wherever the Dock has the tile at the moment.
    bool waitForPopupBesideGroup(const QString &group, bool shown = true, int timeout = roadTimeout)
    {
        return QTest::qWaitFor([&] {
            const std::optional<DockItemInfo> tile = tileOf(group);
            return tile && popupBeside(tile->frame.toRect()).has_value() == shown;
        }, timeout);
    }

    // Clicks a group's tile until its popup shows (or goes): a person whose click did nothing, on a
    // slow machine, clicks again.
    bool clickGroupUntil(const QString &group, bool shown)
    {
        return QTest::qWaitFor([&] {
            clickGroup(group);
            return waitForPopupBesideGroup(group, shown, 3000);
        }, 4 * roadTimeout);
    }

    void clickGroup(const QString &group)
    {
        if (const std::optional<DockItemInfo> tile = tileOf(group))
            m_pointer.click(tile->frame.center().toPoint());
    }

    // Rests the pointer on a group's tile until the program shows the popup beside it.
    bool hoverUntilShown(const QString &group)
    {
        return QTest::qWaitFor([&] {
            const std::optional<DockItemInfo> tile = tileOf(group);
            if (!tile)
                return false;
            m_pointer.move(tile->frame.center().toPoint() + QPoint(1, 0));
            m_pointer.move(tile->frame.center().toPoint());
            return waitForPopupBeside(tile->frame.toRect(), 500);
        }, roadTimeout);
    }

    // The name a popup shows, read off the screen: the group's popup draws its name in its header,
    // so the two groups' popups differ there.
    QImage grabWindow(const QRect &window) const
    {
        return QGuiApplication::primaryScreen()->grabWindow(0, window.x(), window.y(), window.width(), window.height()).toImage();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_pointer.isValid() && m_keyboard.isValid(), "needs an X server");
        const QString programPath = QFileInfo(QStringLiteral(KESTROWAN_PROGRAM)).canonicalFilePath();
        QVERIFY(TrustStore::grant(programPath));
        m_groups = {ProgramGroups::ofOneNote(m_dock.home, QStringLiteral("Work")),
                    ProgramGroups::ofOneNote(m_dock.home, QStringLiteral("Play"))};
        QVERIFY(ProgramGroups::write(m_dock.home, m_groups));
        m_work = mirrorFolder(m_groups.at(0));
        m_play = mirrorFolder(m_groups.at(1));
        m_alpha = m_dock.makeApplication(QStringLiteral("Alpha"));
        m_dock.writePreferences(QStringLiteral("bottom"), false, {m_alpha}, {m_work, m_play});
        QVERIFY(m_dock.start() > 0);
        connect(&m_program, &QProcess::readyRead, this, [this] {
            while (m_program.canReadLine())
                m_log.append(QString::fromUtf8(m_program.readLine()).trimmed());
        });
    }

    void cleanup()
    {
        if (QTest::currentTestFailed()) {
            for (const QString &line : std::as_const(m_log))
                qInfo("program: %s", qPrintable(line));
            for (const QRect &window : windowsOfProcess(m_program.processId()))
                qInfo("window: %d,%d %dx%d", window.x(), window.y(), window.width(), window.height());
            for (const DockItemInfo &item : readDockItems())
                qInfo("tile %s: %g,%g %gx%g", qPrintable(item.title), item.frame.x(), item.frame.y(), item.frame.width(),
                      item.frame.height());
        }
        stopProgram();
    }

    void aClickOnAGroupTileTogglesItsPopupInClickMode()
    {
        startProgram(QStringLiteral("click"));
        if (QTest::currentTestFailed())
            return;
        // The program starts its Dock watchers afresh twice in its first second or so; a click in
        // between would be the Dock's, which opens the folder.
        QTRY_COMPARE_WITH_TIMEOUT(int(m_log.filter(QStringLiteral("Startup recovery pass at")).size()), 2, roadTimeout);
        QVERIFY(clickGroupUntil(QStringLiteral("Work"), true));
        QFile::remove(m_dock.openLog);
        QVERIFY(clickGroupUntil(QStringLiteral("Work"), false));
        QVERIFY(clickGroupUntil(QStringLiteral("Work"), true));
        // Another group's tile switches to that group's popup.
        QVERIFY(clickGroupUntil(QStringLiteral("Play"), true));
        QVERIFY(waitForPopupBesideGroup(QStringLiteral("Work"), false));
        // None of these clicks reached the Dock: once the application tile's click has opened it,
        // the folder has had its chance and did not open.
        m_pointer.click(readDockItems().first().frame.center().toPoint());
        QTRY_COMPARE_WITH_TIMEOUT(m_dock.opened().size(), 1, roadTimeout);
        QVERIFY(!m_dock.opened().contains(m_work));
    }

    // The popup a click on a tile opened closes at a click on the empty desktop (wherever that
    // is); the next click in the main window does what it says: it opens a group's editor, and
    // Back leaves it.
    void aClickInTheWindowAfterADesktopClickActs()
    {
        startProgram(QStringLiteral("click"));
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE_WITH_TIMEOUT(int(m_log.filter(QStringLiteral("Startup recovery pass at")).size()), 2, roadTimeout);
        std::optional<QRect> window;
        QTRY_VERIFY_WITH_TIMEOUT((window = mainWindow()).has_value(), roadTimeout);
        QVERIFY(ProgramWindows::waitUntilDrawn(*window));
        const QPoint workCard = window->topLeft() + QPoint(440, 45);
        const QPoint back = window->topLeft() + QPoint(40, 25);
        const QList<QPoint> desktops{QPoint(100, 400), QPoint(1300, 800), QPoint(200, 860), QPoint(100, 100)};
        for (int round = 1; round <= 4; ++round) {
            const QString what = QStringLiteral("round %1").arg(round);
            QVERIFY2(clickGroupUntil(QStringLiteral("Play"), true), qPrintable(what));
            m_pointer.click(desktops.at(round - 1));
            QVERIFY2(waitForPopupBesideGroup(QStringLiteral("Play"), false), qPrintable(what));
            QVERIFY(!ProgramWindows::settledGrab(*window).isNull());
            int from = int(m_log.size());
            m_pointer.click(workCard);
            QVERIFY2(waitForLine(QStringLiteral("Navigation selected page changed: group("), from), qPrintable(what));
            // Back, once the editor has come to rest: the list of groups again.
            QVERIFY(!ProgramWindows::settledGrab(*window).isNull());
            from = int(m_log.size());
            m_pointer.click(back);
            QVERIFY2(waitForLine(QStringLiteral("Navigation selected page changed: none"), from), qPrintable(what));
        }
    }

    // The question before deleting a group takes the keyboard each time it comes up, also after
    // hot-key popups came and went: Escape answers it (the group stays), Return on the next one
    // too would delete, so the question is only ever asked and dismissed here.
    void theDeleteQuestionTakesTheKeyboardEachTime()
    {
        startProgram(QStringLiteral("click"));
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE_WITH_TIMEOUT(int(m_log.filter(QStringLiteral("Startup recovery pass at")).size()), 2, roadTimeout);
        std::optional<QRect> window;
        QTRY_VERIFY_WITH_TIMEOUT((window = mainWindow()).has_value(), roadTimeout);
        QVERIFY(ProgramWindows::waitUntilDrawn(*window));
        // The Work group's editor: its delete button stands at the header's far end.
        int from = int(m_log.size());
        m_pointer.click(window->topLeft() + QPoint(440, 45));
        QVERIFY(waitForLine(QStringLiteral("Navigation selected page changed: group("), from));
        QVERIFY(!ProgramWindows::settledGrab(*window).isNull());
        const QPoint deleteButton = window->topLeft() + QPoint(window->width() - 30, 25);
        const auto question = [&]() -> std::optional<X11Windows::Window> {
            for (const X11Windows::Window &shown : X11Windows().all()) {
                if (shown.pid == m_program.processId() && shown.viewable && !shown.overrideRedirect
                    && shown.geometry.width() < 600 && shown.geometry.height() > 80 && shown.geometry.height() < 400)
                    return shown;
            }
            return std::nullopt;
        };
        for (int round = 1; round <= 8; ++round) {
            const QString what = QStringLiteral("round %1").arg(round);
            if (round % 2 == 0) {
                // A hot-key popup comes and goes first.
                m_pointer.move(QPoint(300, 500));
                m_keyboard.chord({XTestKeys::controlL}, '2');
                QVERIFY2(QTest::qWaitFor([&] { return ProgramWindows::popupOf(m_program.processId(), window).has_value(); }, roadTimeout),
                         qPrintable(what));
                QVERIFY(ProgramWindows::waitUntilPopupGrown(*ProgramWindows::popupOf(m_program.processId(), window)));
                m_keyboard.chord({}, 0xff1b);
                QVERIFY2(QTest::qWaitFor([&] { return !ProgramWindows::popupOf(m_program.processId(), window); }, roadTimeout),
                         qPrintable(what));
            }
            m_pointer.click(deleteButton);
            std::optional<X11Windows::Window> asked;
            QVERIFY2(QTest::qWaitFor([&] { return (asked = question()).has_value(); }, roadTimeout), qPrintable(what));
            QVERIFY2(QTest::qWaitFor([&] { return X11Windows().inputFocus() == asked->id; }, roadTimeout),
                     qPrintable(what + QStringLiteral(": the keyboard is at %1, the question is %2")
                                          .arg(X11Windows().inputFocus(), 0, 16).arg(asked->id, 0, 16)));
            m_keyboard.chord({}, 0xff1b);
            QVERIFY2(QTest::qWaitFor([&] { return !question(); }, roadTimeout), qPrintable(what));
        }
        QFile stored(m_dock.home + QStringLiteral("/.local/share/Kestrowan/groups.json"));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(stored.readAll()).array().size(), 2);
    }

private:
    // The program's main window, while it shows.
    std::optional<QRect> mainWindow() const
    {
        for (const X11Windows::Window &window : X11Windows().all()) {
            if (window.pid == m_program.processId() && window.viewable && window.name == QLatin1String("Kestrowan")
                && window.geometry.width() >= 600)
                return window.geometry;
        }
        return std::nullopt;
    }

    // The popup a hover opened, wherever the Dock is: the program's only large window once its
    // main window is closed.
    std::optional<QRect> shownPopup() const { return ProgramWindows::popupOf(m_program.processId()); }

    std::optional<QRect> hoverUntilAnyPopup(const QString &group)
    {
        return ProgramWindows::hoverUntilAnyPopup(m_pointer, m_program.processId(), group);
    }

    // Opens the group's popup by resting on its tile, then leaves the tile for a point that is on
    // neither the tile nor the panel, and rests there: the popup closes. Resting in the gap between
    // the tile and the panel, within the room the popup counts as its own, it stays until the pointer
    // goes on. The Dock touches the screen edge `towardEdge` points away from the tile's centre, in
    // that direction.
    void leaveTheTileEachWay(const QString &group, const QPoint &towardEdge)
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        for (const QString &way : {QStringLiteral("at once, far away"), QStringLiteral("into the gap before the panel"),
                                   QStringLiteral("just past the tile's edge")}) {
            const std::optional<QRect> popup = hoverUntilAnyPopup(group);
            QVERIFY2(popup, qPrintable(way));
            const std::optional<DockItemInfo> tile = tileOf(group);
            QVERIFY(tile);
            const QRect frame = tile->frame.toRect();
            const QPoint centre = frame.center();
            QPoint rest;
            if (way.startsWith(QLatin1String("at once")))
                rest = popup->center().x() < screen.width() / 2 ? QPoint(screen.width() - 60, 200) : QPoint(60, 200);
            else if (way.startsWith(QLatin1String("into the gap")))
                rest = towardEdge.y() ? QPoint(centre.x(), popup->bottom() + 4) : QPoint(popup->right() + 4, centre.y());
            else
                rest = towardEdge.y() ? QPoint(centre.x(), frame.bottom() + 3) : QPoint(frame.right() + 3, centre.y());
            QVERIFY2(!popup->contains(rest) && !frame.contains(rest), qPrintable(way));
            QVERIFY2(popup->intersects(frame.adjusted(-24, -24, 24, 24)), qPrintable(way)); // the tile's popup
            m_pointer.move(rest);
            if (way.startsWith(QLatin1String("into the gap"))) {
                QTest::qWait(1500); // well past every grace and delay
                QVERIFY2(shownPopup() == popup, qPrintable(way));
                m_pointer.move(popup->center().x() < screen.width() / 2 ? QPoint(screen.width() - 60, 200) : QPoint(60, 200));
            }
            QVERIFY2(QTest::qWaitFor([&] { return !shownPopup(); }, roadTimeout), qPrintable(way));
        }
    }

    void closeMainWindow()
    {
        // The main window is closed, as a user working elsewhere would have it; the program stays.
        QVERIFY(QTest::qWaitFor([&] {
            for (const X11Windows::Window &window : X11Windows().all()) {
                if (window.viewable && window.pid == m_program.processId() && window.name == QLatin1String("Kestrowan")) {
                    X11Windows().requestClose(window.id);
                    return false;
                }
            }
            return true;
        }, roadTimeout));
    }

private slots:
    void hoverHotKeyAndADockRestartInHoverMode()
    {
        startProgram(QStringLiteral("hover"));
        if (QTest::currentTestFailed())
            return;
        closeMainWindow();
        // The program starts its Dock watchers afresh twice in its first second or so, which also
        // closes any popup: what follows must be the program's doing, not theirs.
        QTRY_COMPARE_WITH_TIMEOUT(int(m_log.filter(QStringLiteral("Startup recovery pass at")).size()), 2, roadTimeout);
        QVERIFY(hoverUntilShown(QStringLiteral("Play")));
        const std::optional<DockItemInfo> play = tileOf(QStringLiteral("Play"));
        QVERIFY(play);
        const std::optional<QRect> shown = popupBeside(play->frame.toRect());
        QVERIFY(shown);
        const QRect popup = *shown;
        // The popup beside the stand-in Dock, for the record.
        const QRect dockBand(0, int(play->frame.top()) - 8, QGuiApplication::primaryScreen()->geometry().width(),
                             QGuiApplication::primaryScreen()->geometry().height() - int(play->frame.top()) + 8);
        const QRect shot = popup.united(dockBand).intersected(QRect(popup.left() - 260, 0, popup.width() + 520, 10000));
        QVERIFY(ProgramWindows::waitUntilPopupGrown(popup));
        QDir().mkpath(QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots"));
        QVERIFY(grabWindow(shot).save(QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots/road-popup-beside-dock-light.png")));

        leaveTheTileEachWay(QStringLiteral("Play"), QPoint(0, 1));
        if (QTest::currentTestFailed())
            return;

        // Control+1 just after the pointer left a group's tile: the first group's popup around the
        // pointer, which stays while the pointer rests.
        QVERIFY(hoverUntilShown(QStringLiteral("Play")));
        m_pointer.move(QPoint(700, 500));
        QTest::qWait(50);
        m_keyboard.chord({XTestKeys::controlL}, '1');
        QVERIFY(waitForPopupBeside(QRect(660, 470, 80, 60)));
        QTest::qWait(1500); // well past every grace and delay
        QVERIFY(popupBeside(QRect(660, 470, 80, 60)));

        // Control+2 with the pointer on the menu-bar strip: the popup comes up below the strip, in
        // the screen's usable area, and clear of the Dock.
        m_pointer.move(QPoint(700, 4));
        m_keyboard.chord({XTestKeys::controlL}, '2');
        std::optional<QRect> nearTop;
        QVERIFY(QTest::qWaitFor([&] { return (nearTop = shownPopup()) && nearTop->top() < 200; }, roadTimeout));
        QVERIFY2(nearTop->top() >= menuBarStripHeight, qPrintable(QStringLiteral("top at %1").arg(nearTop->top())));
        QVERIFY(nearTop->bottom() < tileOf(QStringLiteral("Play"))->frame.top());
        // Escape closes it, so that the popup looked for next is the hover's.
        m_keyboard.chord({}, 0xff1b);
        QVERIFY(QTest::qWaitFor([&] { return !shownPopup(); }, roadTimeout));

        // The Dock restarts, moved to the right edge meanwhile: the program notices the new
        // Dock, and hovering and leaving work there too.
        m_dock.writePreferences(QStringLiteral("right"), false, {m_alpha}, {m_work, m_play});
        const int from = int(m_log.size());
        QVERIFY(m_dock.restart() > 0);
        QVERIFY(waitForLine(QStringLiteral("Dock process changed, recovering popup tracking"), from));
        QTRY_VERIFY_WITH_TIMEOUT(tileOf(QStringLiteral("Play")) && tileOf(QStringLiteral("Play"))->frame.left() > 600, roadTimeout);
        leaveTheTileEachWay(QStringLiteral("Play"), QPoint(1, 0));
    }
};

KESTROWAN_TEST_MAIN(TestDockRoadsXvfb)
#include "tst_dockroads_xvfb.moc"
