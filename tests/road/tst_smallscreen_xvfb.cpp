// The program on a small screen (800 by 600) with the stand-in Dock, driven from outside with XTest:
// its windows keep inside the usable area the Dock and the menu-bar strip leave (a popup of many
// items from its tile and by hot key, the main window), the main window closes with the desktop's
// close key and takes every key the status menu shows (settings, group list, quit), and quitting
// while a popup shows ends the program promptly.

#include "Platform/linux/X11Atoms.h"
#include "tests/app/ProgramRoad.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>

using namespace ProgramWindows;

namespace {

constexpr quint32 keyW = 0x77;
constexpr quint32 keyG = 0x67;
constexpr quint32 keyQ = 0x71;
constexpr quint32 keyComma = 0x2c;
constexpr quint32 superL = 0xffeb;
constexpr quint32 keyEscape = 0xff1b;

// The usable area the Dock publishes for the screen (the root window's "_NET_WORKAREA").
QRect workArea()
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    QRect area;
    if (!xcb_connection_has_error(c)) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, x11Atom(c, "_NET_WORKAREA"), XCB_ATOM_CARDINAL, 0, 4), nullptr);
        if (reply && xcb_get_property_value_length(reply) >= 16) {
            const auto *values = static_cast<const quint32 *>(xcb_get_property_value(reply));
            area = QRect(int(values[0]), int(values[1]), int(values[2]), int(values[3]));
        }
        std::free(reply);
    }
    xcb_disconnect(c);
    return area;
}

QString screenshotPath(const QString &name)
{
    QDir().mkpath(QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots"));
    return QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots/road-small-") + name + QStringLiteral(".png");
}

} // namespace

class TestSmallScreenXvfb : public QObject, private ProgramRoad {
    Q_OBJECT

private:
    AppGroup makeGroup(const QString &name, int count) { return makeNotesGroup(name, numberedNotes(name, count)); }

    void startProgram()
    {
        QVERIFY(launchProgram());
        QTRY_VERIFY_WITH_TIMEOUT(tileOf(QStringLiteral("Big")) && tileOf(QStringLiteral("Kestrowan")), roadTimeout);
    }

    std::optional<X11Windows::Window> mainWindow() { return shownMainWindow(); }

    // The program's popup: its only large window besides the main one.
    std::optional<QRect> shownPopup()
    {
        const std::optional<X11Windows::Window> main = mainWindow();
        return popupOf(m_program.processId(), main ? std::optional<QRect>(main->geometry) : std::nullopt);
    }

    std::optional<QRect> hoverUntilPopup(const QString &group)
    {
        const std::optional<X11Windows::Window> main = mainWindow();
        return hoverUntilAnyPopup(m_pointer, m_program.processId(), group,
                                  main ? std::optional<QRect>(main->geometry) : std::nullopt);
    }

    // The status item's icon in the menu-bar strip.
    QRect statusIcon()
    {
        for (const X11Windows::Window &window : X11Windows().all()) {
            if (window.pid == m_program.processId() && window.viewable && window.geometry.height() <= 24 && window.geometry.top() < 24)
                return window.geometry;
        }
        return {};
    }

    // The status menu while it shows.
    QRect statusMenu()
    {
        for (const X11Windows::Window &window : X11Windows().all()) {
            if (window.pid == m_program.processId() && window.viewable && window.overrideRedirect && window.geometry.height() > 60)
                return window.geometry;
        }
        return {};
    }

    // Whether the status menu stands above the main window in the X server's stacking order.
    bool menuAboveMainWindow()
    {
        return aboveMainWindow([](const X11Windows::Window &window) { return window.overrideRedirect && window.geometry.height() > 60; });
    }

    QString stacking()
    {
        QStringList order;
        for (const X11Windows::Window &window : X11Windows().all()) {
            if (window.viewable)
                order << QStringLiteral("%1 %2 (%3%4)").arg(window.id, 0, 16).arg(describe(window.geometry), window.name,
                                                              window.overrideRedirect ? QStringLiteral(", override") : QString());
        }
        return order.join(QStringLiteral(" < "));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(canDrive(), "needs an X server");
        QCOMPARE(QGuiApplication::primaryScreen()->geometry().size(), QSize(800, 600));
        QVERIFY(grantDockAccess());
        const QList<AppGroup> groups{makeGroup(QStringLiteral("Big"), 14), makeGroup(QStringLiteral("Small"), 2)};
        QVERIFY(writeGroups(groups));
        const QString big = mirrorFolder(groups.at(0));
        const QString small = mirrorFolder(groups.at(1));
        m_dock.writePreferences(QStringLiteral("bottom"), false, {m_dock.makeApplication(QStringLiteral("Alpha"))}, {big, small});
        QVERIFY(m_dock.start() > 0);
        writeUserSettings(QStringLiteral("hover"));
        startProgram();
    }

    void cleanup()
    {
        if (QTest::currentTestFailed()) {
            printProgramOutput();
            for (const X11Windows::Window &window : X11Windows().all()) {
                if (window.pid == m_program.processId())
                    qInfo("window %x (%s, %s, parent %x): %s", window.id, qPrintable(window.name), window.viewable ? "viewable" : "hidden", window.parent, qPrintable(describe(window.geometry)));
            }
            qInfo("work area: %s", qPrintable(describe(workArea())));
        }
    }

    void cleanupTestCase() { stopProgram(); }

    // The main window opens inside the usable area, clear of the menu-bar strip and the Dock's band.
    void theMainWindowFits()
    {
        const QRect area = workArea();
        QVERIFY(area.height() < 540); // smaller than the window would be elsewhere
        std::optional<X11Windows::Window> window;
        QTRY_VERIFY_WITH_TIMEOUT((window = mainWindow()).has_value(), roadTimeout);
        QVERIFY2(area.contains(window->geometry), qPrintable(describe(window->geometry) + " in " + describe(area)));
        QVERIFY(waitUntilDrawn(window->geometry));
        QVERIFY(grabScreen(QRect(QPoint(0, 0), QSize(800, 600))).save(screenshotPath("main-light")));
    }

    // The keys the status menu shows beside its commands work in the main window: Super+comma
    // opens the settings, Super+G the group list. (The program settles its Dock watchers in its
    // first second or so; the keys come after that.)
    void theStatusMenusKeysWorkInTheMainWindow()
    {
        std::optional<X11Windows::Window> window;
        QTRY_VERIFY_WITH_TIMEOUT((window = mainWindow()).has_value(), roadTimeout);
        QVERIFY(waitForLine(QStringLiteral("Startup recovery pass at 1200 ms")));
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows().inputFocus(), window->id, roadTimeout);
        m_keyboard.chord({superL}, keyComma);
        QVERIFY(waitForLine(QStringLiteral("Deferred settings navigation fired")));
        m_keyboard.chord({superL}, keyG);
        QVERIFY(waitForLine(QStringLiteral("Deferred group list navigation fired")));

        // Once the status menu has been open and closed again, the keys still work in the window.
        const QRect icon = statusIcon();
        QVERIFY(!icon.isEmpty());
        // Each time, the menu lies over the window where the two meet, its labels in sight.
        for (int round = 1; round <= 4; ++round) {
            m_pointer.click(icon.center());
            QTRY_VERIFY_WITH_TIMEOUT(!statusMenu().isEmpty(), roadTimeout);
            QVERIFY(statusMenu().intersects(window->geometry));
            QVERIFY(waitUntilDrawn(statusMenu()));
            QTest::qWait(300); // checks that nothing comes over the menu meanwhile
            QVERIFY2(menuAboveMainWindow(), qPrintable(QStringLiteral("round %1: ").arg(round) + stacking()));
            m_keyboard.chord({}, keyEscape);
            QTRY_VERIFY_WITH_TIMEOUT(statusMenu().isEmpty(), roadTimeout);
            // The window is worked in between.
            m_pointer.click(window->geometry.center() + QPoint(0, 150));
        }
        m_pointer.click(window->geometry.center() + QPoint(0, 150));
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows().inputFocus(), window->id, roadTimeout);
        m_log.clear();
        m_keyboard.chord({superL}, keyComma);
        QVERIFY(waitForLine(QStringLiteral("Deferred settings navigation fired")));
    }

    // The status menu asked for while a popup shows over the main window: the menu comes up (at
    // the latest at a second click) and stays above the window once the popup has gone.
    void theStatusMenuOverAPopupAndTheWindow()
    {
        std::optional<X11Windows::Window> window;
        QTRY_VERIFY_WITH_TIMEOUT((window = mainWindow()).has_value(), roadTimeout);
        const QRect icon = statusIcon();
        for (int round = 1; round <= 4; ++round) {
            const QString what = QStringLiteral("round %1: ").arg(round);
            m_pointer.move(QPoint(400, 420));
            m_keyboard.chord({XTestKeys::controlL}, '2');
            QTRY_VERIFY_WITH_TIMEOUT(shownPopup().has_value(), roadTimeout);
            QVERIFY(waitUntilPopupGrown(*shownPopup()));
            QVERIFY(QTest::qWaitFor([&] {
                m_pointer.click(icon.center());
                return QTest::qWaitFor([&] { return !statusMenu().isEmpty(); }, 2000);
            }, roadTimeout));
            QVERIFY(waitUntilDrawn(statusMenu()));
            QTRY_VERIFY_WITH_TIMEOUT(!shownPopup(), roadTimeout);
            QTest::qWait(300); // checks that nothing comes over the menu meanwhile
            QVERIFY2(!statusMenu().isEmpty() && menuAboveMainWindow(), qPrintable(what + stacking()));
            m_keyboard.chord({}, keyEscape);
            QTRY_VERIFY_WITH_TIMEOUT(statusMenu().isEmpty(), roadTimeout);
        }
    }

    void theMainWindowsCloseKeyClosesIt()
    {
        std::optional<X11Windows::Window> window;
        QTRY_VERIFY_WITH_TIMEOUT((window = mainWindow()).has_value(), roadTimeout);
        // The window has the keyboard once it is up; Ctrl+W closes it, and the program stays.
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows().inputFocus(), window->id, roadTimeout);
        m_keyboard.chord({XTestKeys::controlL}, keyW);
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow(), roadTimeout);
        QVERIFY(waitForLine(QStringLiteral("MainView onDisappear")));
        QCOMPARE(m_program.state(), QProcess::Running);
    }

    // A group of fourteen items: its popup, from the tile and by hot key, lies wholly inside the
    // usable area, title and footer on screen.
    void aLargeGroupsPopupFitsTheScreen()
    {
        const QRect area = workArea();
        std::optional<QRect> popup = hoverUntilPopup(QStringLiteral("Big"));
        QVERIFY(popup);
        QVERIFY2(area.contains(*popup), qPrintable(describe(*popup) + " in " + describe(area)));
        QVERIFY(waitUntilPopupGrown(*popup));
        QVERIFY(grabScreen(QRect(QPoint(0, 0), QSize(800, 600))).save(screenshotPath("popup-hover-light")));
        m_pointer.move(QPoint(790, 100));
        QTRY_VERIFY_WITH_TIMEOUT(!shownPopup(), roadTimeout);

        m_pointer.move(QPoint(400, 420));
        m_keyboard.chord({XTestKeys::controlL}, '1');
        QTRY_VERIFY_WITH_TIMEOUT((popup = shownPopup()).has_value(), roadTimeout);
        QVERIFY2(area.contains(*popup), qPrintable(describe(*popup) + " in " + describe(area)));
        QVERIFY(waitUntilPopupGrown(*popup));
        QVERIFY(grabScreen(QRect(QPoint(0, 0), QSize(800, 600))).save(screenshotPath("popup-hotkey-light")));
        m_keyboard.chord({}, keyEscape);
        QTRY_VERIFY_WITH_TIMEOUT(!shownPopup(), roadTimeout);
    }

    // Quit from the status menu while a popup shows: the program ends promptly. (How long it takes
    // is measured and reported; a benchmark, not this test, holds the figure.)
    void quittingWithAPopupOpenEndsTheProgram()
    {
        m_pointer.move(QPoint(400, 420));
        m_keyboard.chord({XTestKeys::controlL}, '1');
        QTRY_VERIFY_WITH_TIMEOUT(shownPopup().has_value(), roadTimeout);
        QVERIFY(waitUntilPopupGrown(*shownPopup()));
        std::optional<QRect> icon;
        for (const X11Windows::Window &window : X11Windows().all()) {
            if (window.pid == m_program.processId() && window.viewable && window.geometry.height() <= 24 && window.geometry.top() < 24)
                icon = window.geometry;
        }
        QVERIFY(icon);
        m_pointer.click(icon->center());
        std::optional<QRect> menu;
        QTRY_VERIFY_WITH_TIMEOUT((menu = [&]() -> std::optional<QRect> {
            for (const X11Windows::Window &window : X11Windows().all()) {
                if (window.pid == m_program.processId() && window.viewable && window.overrideRedirect && window.geometry.height() > 60)
                    return window.geometry;
            }
            return std::nullopt;
        }()).has_value(), roadTimeout);
        QVERIFY(waitUntilDrawn(*menu));
        QVERIFY2(!mainWindow() || menuAboveMainWindow(), qPrintable(stacking()));
        const bool popupStillShows = shownPopup().has_value();
        QElapsedTimer quitting;
        m_pointer.click(QPoint(menu->center().x(), menu->bottom() - 14)); // "Quit", the last entry
        quitting.start();
        QVERIFY(m_program.waitForFinished(roadTimeout));
        qInfo("Quit took %lld ms (popup %s when Quit was chosen)", quitting.elapsed(), popupStillShows ? "showing" : "gone");
        QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    }

    // The status menu's quit key, pressed in the main window of a fresh start, ends the program
    // as the menu's entry does.
    void theQuitKeyQuitsFromTheMainWindow()
    {
        startProgram();
        std::optional<X11Windows::Window> window;
        QTRY_VERIFY_WITH_TIMEOUT((window = mainWindow()).has_value(), roadTimeout);
        QVERIFY(waitForLine(QStringLiteral("Startup recovery pass at 1200 ms")));
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows().inputFocus(), window->id, roadTimeout);
        m_keyboard.chord({XTestKeys::controlL}, keyQ);
        QVERIFY(m_program.waitForFinished(roadTimeout));
        QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_program.exitCode(), 0);
    }
};

KESTROWAN_TEST_MAIN(TestSmallScreenXvfb)
#include "tst_smallscreen_xvfb.moc"
