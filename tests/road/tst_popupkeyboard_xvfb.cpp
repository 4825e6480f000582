// The popup window is kept from show to show, so every road to it is driven many times in a row: the
// real program and the stand-in Dock on a real X server, the keys and the pointer moved through XTest
// as a user's hand would. Each show must hold the keyboard (the X server sends the keys to it), take
// a letter into its search and close on Escape; the program's own keys work while it is up.

#include "Kestrowan/groups/AppGroup.h"
#include "Platform/dockstandin/wire/TrustStore.h"
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

#include <functional>

using namespace ProgramWindows;

namespace {

constexpr int showsPerRoad = 10;
constexpr quint32 keyEscape = 0xff1b;
constexpr quint32 superL = 0xffeb;

// What a road does to bring the popup up; the name goes into the failure message.
struct Road {
    QString name;
    std::function<void()> open;
    // The letter that leaves one item of the group shown.
    char letter = 'b';
};

} // namespace

class TestPopupKeyboardXvfb : public QObject {
    Q_OBJECT

private:
    StandinDockSession m_dock;
    XTestPointer m_pointer;
    XTestKeyboard m_keyboard;
    QProcess m_program;
    QStringList m_log;
    QList<AppGroup> m_groups;
    QStringList m_folders;
    std::optional<quint32> m_mainWindow;

    AppGroup makeGroup(const QString &name, const QStringList &items)
    {
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = name;
        group.displayStyle = AppGroup::DisplayStyle::List;
        for (const QString &item : items) {
            const QString note = m_dock.home + QStringLiteral("/Documents/") + item + QStringLiteral(".txt");
            QDir().mkpath(QFileInfo(note).path());
            QFile(note).open(QIODevice::WriteOnly);
            group.apps.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + note, item, note});
        }
        return group;
    }

    // The Dock with an application and, when `withGroups`, the groups' folders; the program started
    // afresh in `mode` ("hover" or "click") with its main window open, as every start opens it.
    void startProgram(const QString &mode, bool withGroups)
    {
        ProgramWindows::stopProgram(m_program);
        // KESTROWAN_TEST_DOCK_EDGE=left or right runs the same roads with the Dock on that edge.
        m_dock.writePreferences(qEnvironmentVariable("KESTROWAN_TEST_DOCK_EDGE", QStringLiteral("bottom")), false, {m_dock.makeApplication(QStringLiteral("Alpha"))},
                                withGroups ? m_folders : QStringList());
        QVERIFY(m_dock.pid() > 0 ? m_dock.restart() > 0 : m_dock.start() > 0);
        // Kept regular, the program has a Dock tile of its own from the start: the tiles stay put.
        const QProcessEnvironment environment = ProgramWindows::interactionStart(mode, true);
        m_log.clear();
        m_mainWindow.reset();
        QVERIFY(ProgramProcess::start(m_program, QStringLiteral(KESTROWAN_PROGRAM), environment));
        // The Dock watchers are started afresh twice in the first second or so; a tile's click in
        // between would be the Dock's.
        QVERIFY(waitForLine(QStringLiteral("Startup recovery pass at 1200 ms done")));
        QVERIFY(QTest::qWaitFor([&] { return (m_mainWindow = findMainWindow()).has_value(); }, roadTimeout));
        if (withGroups)
            QVERIFY(QTest::qWaitFor([&] { return tileOf(m_groups[0].name) && tileOf(QStringLiteral("Kestrowan")); }, roadTimeout));
    }

    bool waitForLine(const QString &text, int timeout = roadTimeout)
    {
        return QTest::qWaitFor([&] { return !m_log.filter(text).isEmpty(); }, timeout);
    }

    std::optional<quint32> findMainWindow()
    {
        for (const X11Windows::Window &window : X11Windows().all()) {
            if (window.pid == m_program.processId() && window.viewable && window.name == QLatin1String("Kestrowan")
                && window.geometry.width() >= 600)
                return window.id;
        }
        return std::nullopt;
    }

    // The popup among the program's windows: as large as a popup and not the main window.
    std::optional<X11Windows::Window> popup()
    {
        for (const X11Windows::Window &window : X11Windows().all()) {
            if (window.pid == m_program.processId() && window.viewable && window.id != m_mainWindow.value_or(0)
                && window.geometry.width() >= 400 && window.geometry.height() >= 200)
                return window;
        }
        return std::nullopt;
    }

    // Closed as a user does with the keyboard: the window has it back once a popup has gone.
    void closeMainWindow()
    {
        m_mainWindow = findMainWindow();
        QVERIFY(m_mainWindow);
        QVERIFY2(QTest::qWaitFor([&] { return X11Windows().inputFocus() == *m_mainWindow; }, roadTimeout),
                 "the main window did not get the keyboard back");
        m_keyboard.chord({XTestKeys::controlL}, 'w');
        QVERIFY2(waitForLine(QStringLiteral("MainView onDisappear")), "Ctrl+W did not close the main window");
        m_mainWindow.reset();
    }

    // Shows the popup by `road` ten times; each must hold the keyboard, take `letter` into its
    // search (the list narrows to one item, the panel shrinks) and close on Escape.
    void showTenTimes(const Road &road)
    {
        for (int show = 1; show <= showsPerRoad; ++show) {
            const QByteArray where = QStringLiteral("%1, show %2 of %3").arg(road.name).arg(show).arg(showsPerRoad).toUtf8();
            road.open();
            std::optional<X11Windows::Window> shown;
            QVERIFY2(QTest::qWaitFor([&] { return (shown = popup()).has_value(); }, roadTimeout), where + ": no popup");
            QVERIFY2(QTest::qWaitFor([&] { return X11Windows().inputFocus() == shown->id; }, roadTimeout),
                     where + ": the popup has not got the keyboard");
            m_keyboard.chord({}, quint32(road.letter));
            QVERIFY2(QTest::qWaitFor([&] {
                const std::optional<X11Windows::Window> now = popup();
                return now && now->geometry.height() < shown->geometry.height();
            }, roadTimeout), where + ": the search did not take the letter");
            m_keyboard.chord({}, keyEscape);
            QVERIFY2(QTest::qWaitFor([&] { return !popup(); }, roadTimeout), where + ": Escape did not close it");
            // A hand's pause before the next: long enough for the program to count itself inactive
            // once the popup has gone, as it does between a user's looks.
            QTest::qWait(600);
        }
    }

    Road hotKey(const QString &name, const QPoint &pointer)
    {
        return {name, [this, pointer] {
                    m_pointer.move(pointer);
                    m_keyboard.chord({XTestKeys::controlL}, '1');
                }};
    }

    // Comes to the tile from away from the Dock and rests there until the popup shows. A popup
    // closed with Escape leaves the pointer on its tile, which counts as hovered until the pointer
    // has been away for a moment: the hand rests away first, as a user's does between two looks.
    Road hover()
    {
        return {QStringLiteral("hover on the tile"), [this] {
                    (void)QTest::qWaitFor([&] {
                        m_pointer.move(QPoint(300, 300));
                        QTest::qWait(400);
                        const std::optional<DockItemInfo> tile = tileOf(m_groups[0].name);
                        if (!tile)
                            return false;
                        m_pointer.move(tile->frame.center().toPoint());
                        return QTest::qWaitFor([&] { return popup().has_value(); }, 1500);
                    }, roadTimeout);
                }};
    }

    Road click()
    {
        return {QStringLiteral("click on the tile"), [this] {
                    if (const std::optional<DockItemInfo> tile = tileOf(m_groups[0].name))
                        m_pointer.click(tile->frame.center().toPoint());
                }};
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_pointer.isValid() && m_keyboard.isValid(), "needs an X server");
        QVERIFY(TrustStore::grant(QFileInfo(QStringLiteral(KESTROWAN_PROGRAM)).canonicalFilePath()));
        m_groups = {makeGroup(QStringLiteral("Work"), {QStringLiteral("Alpha notes"), QStringLiteral("Beta notes"),
                                                       QStringLiteral("Gamma notes")}),
                    makeGroup(QStringLiteral("Play"), {QStringLiteral("Delta notes"), QStringLiteral("Echo notes"),
                                                       QStringLiteral("Kilo notes")})};
        const QString storage = m_dock.home + QStringLiteral("/.local/share/Kestrowan");
        QDir().mkpath(storage);
        QFile groupsFile(storage + QStringLiteral("/groups.json"));
        QVERIFY(groupsFile.open(QIODevice::WriteOnly));
        groupsFile.write(QJsonDocument(AppGroup::listToJson(m_groups)).toJson());
        groupsFile.close();
        for (const AppGroup &group : std::as_const(m_groups))
            m_folders.append(m_dock.makeGroupFolder(group.name, group.id));
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
        }
    }

    void cleanupTestCase() { ProgramWindows::stopProgram(m_program); }

    // The groups' folders stand in the Dock: the hot key with the main window open and closed, and a
    // rest of the pointer on the tile.
    void everyRoadTenTimesWithTheGroupsInTheDock()
    {
        startProgram(QStringLiteral("hover"), true);
        if (QTest::currentTestFailed())
            return;
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        showTenTimes(hotKey(QStringLiteral("hot key, main window open"), screen.center()));
        closeMainWindow();
        showTenTimes(hotKey(QStringLiteral("hot key, main window closed"), QPoint(screen.width() / 3, screen.height() / 2)));
        showTenTimes(hover());
    }

    void aClickOnTheTileTenTimes()
    {
        startProgram(QStringLiteral("click"), true);
        if (QTest::currentTestFailed())
            return;
        showTenTimes(click());
    }

    // Groups not yet in the Dock: the hot keys are all there is, with the main window open and
    // closed, and each press after a popup closed opens the next.
    void theHotKeyTenTimesWithTheGroupsNotYetInTheDock()
    {
        startProgram(QStringLiteral("hover"), false);
        if (QTest::currentTestFailed())
            return;
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        showTenTimes(hotKey(QStringLiteral("hot key, not in the Dock, main window open"), screen.center()));
        closeMainWindow();
        showTenTimes(hotKey(QStringLiteral("hot key, not in the Dock, main window closed"), QPoint(screen.width() / 3, 300)));
        Road play = hotKey(QStringLiteral("second group's hot key, not in the Dock, main window closed"), QPoint(screen.width() / 3, 300));
        play.open = [this, screen] {
            m_pointer.move(QPoint(screen.width() / 3, 300));
            m_keyboard.chord({XTestKeys::controlL}, '2');
        };
        play.letter = 'k';
        showTenTimes(play);
    }

    // The program's own keys while a popup has the keyboard: Ctrl+W closes a freshly opened main
    // window, and again after a popup came and went; in the popup Ctrl+W closes the popup, Super+G
    // brings the main window (while Super+, stays the popup's: it edits the group) and Ctrl+Q quits.
    void theProgramsKeysWorkWhileAPopupHasTheKeyboard()
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QPoint away(screen.width() / 3, 300);
        for (int start = 1; start <= 5; ++start) {
            const QByteArray where = QByteArray("start ") + QByteArray::number(start);
            startProgram(QStringLiteral("hover"), false);
            if (QTest::currentTestFailed())
                return;
            // Typed as soon as the window shows: the window has the keyboard from the start.
            m_keyboard.chord({XTestKeys::controlL}, 'w');
            QVERIFY2(waitForLine(QStringLiteral("MainView onDisappear")), where + ": Ctrl+W did not close the main window");
            m_log.clear();

            m_pointer.move(away);
            m_keyboard.chord({XTestKeys::controlL}, '1');
            QVERIFY2(QTest::qWaitFor([&] { return popup() && X11Windows().inputFocus() == popup()->id; }, roadTimeout), where);
            m_keyboard.chord({XTestKeys::controlL}, 'w');
            QVERIFY2(QTest::qWaitFor([&] { return !popup(); }, roadTimeout), where + ": Ctrl+W did not close the popup");

            m_keyboard.chord({XTestKeys::controlL}, '1');
            QVERIFY2(QTest::qWaitFor([&] { return popup() && X11Windows().inputFocus() == popup()->id; }, roadTimeout), where);
            m_keyboard.chord({superL}, 'g');
            QVERIFY2(QTest::qWaitFor([&] { return (m_mainWindow = findMainWindow()).has_value(); }, roadTimeout),
                     where + ": Super+G in the popup brought no main window");
            QVERIFY2(QTest::qWaitFor([&] { return !popup(); }, roadTimeout), where + ": the popup stayed over the main window");
            // The keyboard is the main window's now; Ctrl+W there closes it again.
            QVERIFY(QTest::qWaitFor([&] { return X11Windows().inputFocus() == *m_mainWindow; }, roadTimeout));
            m_keyboard.chord({XTestKeys::controlL}, 'w');
            QVERIFY2(waitForLine(QStringLiteral("MainView onDisappear")), where + ": Ctrl+W after a popup did not close the main window");
            m_mainWindow.reset();

            m_keyboard.chord({XTestKeys::controlL}, '1');
            QVERIFY2(QTest::qWaitFor([&] { return popup() && X11Windows().inputFocus() == popup()->id; }, roadTimeout), where);
            // The hot key at once after Super+, has opened the editor: the new popup keeps the
            // keyboard when the editor's window comes forward. (The hot key comes over a connection
            // of its own: pressed together with Super+, it may be read first.)
            m_keyboard.chord({superL}, ',');
            QVERIFY2(waitForLine(QStringLiteral("Popup edit tapped for group")), where + ": Super+, did not edit the group");
            m_keyboard.chord({XTestKeys::controlL}, '1');
            QVERIFY(QTest::qWaitFor([&] { return (m_mainWindow = findMainWindow()).has_value(); }, roadTimeout));
            QVERIFY(waitForLine(QStringLiteral("Applying deferred group navigation")));
            QVERIFY(m_log.filter(QStringLiteral("Navigation selected page changed: settings")).isEmpty());
            QVERIFY2(QTest::qWaitFor([&] { return popup() && X11Windows().inputFocus() == popup()->id; }, roadTimeout),
                     where + ": the editor's window took the keyboard from the popup");
            m_keyboard.chord({}, keyEscape);
            QVERIFY(QTest::qWaitFor([&] { return !popup(); }, roadTimeout));

            m_pointer.move(away);
            m_keyboard.chord({XTestKeys::controlL}, '1');
            QVERIFY2(QTest::qWaitFor([&] { return popup() && X11Windows().inputFocus() == popup()->id; }, roadTimeout), where);
            m_keyboard.chord({XTestKeys::controlL}, 'q');
            QVERIFY2(m_program.waitForFinished(roadTimeout), where + ": Ctrl+Q in the popup did not quit");
            QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(m_program.exitCode(), 0);
        }
    }

    // With a popup up, the first click on the status item opens its menu (and closes the popup).
    void theStatusItemOpensItsMenuAtTheFirstClickOverAPopup()
    {
        startProgram(QStringLiteral("hover"), false);
        if (QTest::currentTestFailed())
            return;
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        std::optional<X11Windows::Window> item;
        QVERIFY(QTest::qWaitFor([&] { return (item = X11Windows().statusItemOf(m_program.processId())).has_value(); },
                                roadTimeout));
        for (int round = 1; round <= 5; ++round) {
            m_pointer.move(QPoint(screen.width() / 3, 300));
            m_keyboard.chord({XTestKeys::controlL}, '1');
            QVERIFY(QTest::qWaitFor([&] { return popup() && X11Windows().inputFocus() == popup()->id; }, roadTimeout));
            m_pointer.click(item->geometry.center());
            QVERIFY2(QTest::qWaitFor([&] { return X11Windows().shownMenuOf(m_program.processId()).has_value(); }, roadTimeout),
                     qPrintable(QStringLiteral("round %1: the first click opened no menu").arg(round)));
            QVERIFY(QTest::qWaitFor([&] { return !popup(); }, roadTimeout));
            // The popup's going leaves the menu open, with the keyboard: Escape closes the menu.
            QVERIFY(X11Windows().shownMenuOf(m_program.processId()).has_value());
            m_keyboard.chord({}, keyEscape);
            QVERIFY(QTest::qWaitFor([&] { return !X11Windows().shownMenuOf(m_program.processId()); }, roadTimeout));
        }
    }
};

KESTROWAN_TEST_MAIN(TestPopupKeyboardXvfb)
#include "tst_popupkeyboard_xvfb.moc"
