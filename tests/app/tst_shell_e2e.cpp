// The running program on a real X server with the stand-in Dock: its window, its status item in the
// Dock's menu-bar strip, a second start that forwards a link, and the running-application tile that
// follows the Dock icon setting.

#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/app/EmptyStandinDock.h"
#include "tests/app/ProgramOnX.h"
#include "tests/app/X11Windows.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <csignal>

namespace {

constexpr int timeout = 20000;

} // namespace

class TestShellEndToEnd : public QObject {
    Q_OBJECT
private:
    ProgramOnX m_run;

    bool hasRunningTile() { return m_run.dock.tiles.hasApplicationTile("Kestrowan"); }

    std::optional<X11Windows::Window> mainWindow()
    {
        for (const X11Windows::Window &window : m_run.windows.all()) {
            if (window.pid == m_run.process.processId() && window.name == "Kestrowan" && window.viewable
                && window.geometry.width() >= 600)
                return window;
        }
        return std::nullopt;
    }

    void setShowInDock(bool on)
    {
        // As another program would: the preferences file changes under the running program.
        SettingsFileUserDefaults defaults(QString{});
        defaults.setValue("showInDock", on);
        defaults.synchronize();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_run.windows.isValid(), "needs an X server");
        const QString dockFailure = m_run.startDock(QStringLiteral(KESTROWAN_DOCK_KEEPER), timeout);
        QVERIFY2(dockFailure.isEmpty(), qPrintable(dockFailure));

        QVERIFY(m_run.start(QStringLiteral(KESTROWAN_PROGRAM)));
    }

    void cleanupTestCase()
    {
        m_run.end(timeout);
    }

    void theWindowAndTheStatusItemShow()
    {
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow(), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_run.output().contains("Runtime bootstrap complete"), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_run.statusItem(), timeout);
        // With its window open the program has a Dock icon.
        QTRY_VERIFY_WITH_TIMEOUT(hasRunningTile(), timeout);
        QCOMPARE(m_run.dock.tiles.tiles().count("Kestrowan (AXApplicationDockItem)"), 1);
    }

    // Once the window is up, the desktop knows where the program is: its entry, which routes
    // "kestrowan:" links and link files to it, names this program.
    void theDesktopEntryNamesTheProgram()
    {
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow(), timeout);
        QFile entry(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                    + QStringLiteral("/applications/kestrowan.desktop"));
        QTRY_VERIFY_WITH_TIMEOUT(entry.exists(), timeout);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        // Bare where the path needs no quoting (xdg-open's generic mode reads no quotes), quoted otherwise.
        const QByteArray program(KESTROWAN_PROGRAM);
        const QByteArray text = entry.readAll();
        QVERIFY2(text.contains("\nExec=" + program + " %U\n") || text.contains("\nExec=\"" + program + "\" %U\n"), text.constData());
    }

    void theStatusItemOpensItsMenu()
    {
        const std::optional<X11Windows::Window> item = m_run.statusItem();
        QVERIFY(item);
        auto menuShown = [this] {
            for (const X11Windows::Window &window : m_run.windows.all()) {
                if (window.pid == m_run.process.processId() && window.overrideRedirect && window.viewable
                    && window.geometry.height() > 60)
                    return true;
            }
            return false;
        };
        QVERIFY(!menuShown());
        XTestPointer pointer;
        pointer.click(item->geometry.center());
        QTRY_VERIFY_WITH_TIMEOUT(menuShown(), timeout);
        // Escape is not needed: a click elsewhere closes the menu.
        pointer.click(QPoint(700, 400));
        QTRY_VERIFY_WITH_TIMEOUT(!menuShown(), timeout);
    }

    void aSecondStartForwardsTheSettingsLink()
    {
        QProcess second;
        second.setProcessEnvironment(ProgramOnX::environment());
        second.start(QStringLiteral(KESTROWAN_PROGRAM), {"kestrowan://open/settings"});
        QVERIFY(second.waitForFinished(timeout));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_run.output().contains("Received deep link: kestrowan://open/settings"), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_run.output().contains("Applying deferred settings navigation"), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_run.output().contains("Navigation selected page changed: settings"), timeout);
        QCOMPARE(m_run.process.state(), QProcess::Running);
    }

    // A link of 100 KiB handed to the running program is followed, and logged as a short line.
    void aVeryLongLinkIsLoggedShort()
    {
        const qsizetype before = m_run.output().size();
        const QString link = QStringLiteral("kestrowan://open/settings/") + QString(100 * 1024, u'x');
        QProcess second;
        second.setProcessEnvironment(ProgramOnX::environment());
        second.start(QStringLiteral(KESTROWAN_PROGRAM), {link});
        QVERIFY(second.waitForFinished(timeout));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_run.output().mid(before).contains("Received deep link: kestrowan://open/settings/xxx"), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_run.output().mid(before).contains("Deep link route -> settings"), timeout);
        const QString logged = m_run.output().mid(before);
        QVERIFY2(logged.size() < 8 * 1024, qPrintable(QStringLiteral("%1 characters logged").arg(logged.size())));
        for (const QString &line : logged.split(u'\n'))
            QVERIFY2(line.size() <= 1000, qPrintable(line.left(200)));
        QCOMPARE(m_run.process.state(), QProcess::Running);
    }

    void manageGroupsInTheStatusMenuShowsTheGroupList()
    {
        // The settings page is the one asked for last (by the link above).
        QVERIFY(m_run.output().contains("Navigation selected page changed: settings"));
        const qsizetype listShown = m_run.output().count("Navigation selected page changed: none");
        const std::optional<X11Windows::Window> item = m_run.statusItem();
        QVERIFY(item);
        XTestPointer pointer;
        pointer.click(item->geometry.center());
        QTRY_VERIFY_WITH_TIMEOUT(m_run.shownMenu(), timeout);
        // The first entry, "Manage Groups…", just below the menu's frame.
        const QRect menu = m_run.shownMenu()->geometry;
        pointer.move(QPoint(menu.left() + 40, menu.top() + 14));
        pointer.click(QPoint(menu.left() + 40, menu.top() + 16));
        QTRY_VERIFY_WITH_TIMEOUT(!m_run.shownMenu(), timeout);
        QTRY_COMPARE_WITH_TIMEOUT(m_run.output().count("Navigation selected page changed: none"), listShown + 1, timeout);
        QVERIFY(mainWindow());
    }

    void theDockIconFollowsTheSettingAndTheWindow()
    {
        const std::optional<X11Windows::Window> window = mainWindow();
        QVERIFY(window);
        m_run.windows.requestClose(window->id);
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow(), timeout);
        // Closed, with no Dock icon wanted: menu bar only, still running.
        QTRY_VERIFY_WITH_TIMEOUT(!hasRunningTile(), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_run.output().contains("ActivationPolicy update -> accessory"), timeout);
        QCOMPARE(m_run.process.state(), QProcess::Running);
        QVERIFY(m_run.statusItem());

        setShowInDock(true);
        QTRY_VERIFY_WITH_TIMEOUT(hasRunningTile(), timeout);
        // A click on the program's tile reopens its window, as clicking a Dock icon does.
        XTestPointer pointer;
        pointer.click(m_run.dock.tiles.centreOf("Kestrowan").value_or(QPoint()));
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow(), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_run.output().contains("applicationShouldHandleReopen called. hasVisibleWindows=0"), timeout);
        m_run.windows.requestClose(mainWindow()->id);
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow(), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_run.output().count("MainView onDisappear") == 2, timeout);
        QVERIFY(hasRunningTile());
        setShowInDock(false);
        QTRY_VERIFY_WITH_TIMEOUT(!hasRunningTile(), timeout);
        QCOMPARE(m_run.process.state(), QProcess::Running);
    }

    void reopeningShowsTheWindowAgain()
    {
        QProcess second;
        second.setProcessEnvironment(ProgramOnX::environment());
        second.start(QStringLiteral(KESTROWAN_PROGRAM), {});
        QVERIFY(second.waitForFinished(timeout));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow(), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(hasRunningTile(), timeout);
    }

    // The terminal the program was started from shows what its user may need, not the trace of
    // its windows' and routes' plumbing: those lines are there only when asked for (as every test
    // asks). Last: it ends the program the others share.
    void theTerminalShowsNoDeveloperTraceUnlessAskedFor()
    {
        const QStringList traceLines{QStringLiteral("MainView onAppear"), QStringLiteral("Reopen main window requested from AppDelegate callback"),
                                     QStringLiteral("openWindow(id: main) dispatched"), QStringLiteral("requestMainWindow enqueued"),
                                     QStringLiteral("flushPendingMainWindowRequest executing")};
        QTRY_VERIFY_WITH_TIMEOUT(m_run.output().contains(traceLines.first()), timeout);
        for (const QString &line : traceLines)
            QVERIFY2(m_run.output().contains(line), qPrintable(line));
        m_run.process.terminate();
        QVERIFY(m_run.process.waitForFinished(timeout));

        QProcessEnvironment plain = ProgramOnX::environment();
        plain.remove(QStringLiteral("QT_LOGGING_RULES"));
        QProcess quiet;
        QVERIFY(ProgramProcess::start(quiet, QStringLiteral(KESTROWAN_PROGRAM), plain));
        QString said;
        const auto windowShown = [&] {
            for (const X11Windows::Window &window : m_run.windows.all()) {
                if (window.pid == quiet.processId() && window.name == "Kestrowan" && window.viewable && window.geometry.width() >= 600)
                    return true;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(windowShown() && (said += QString::fromUtf8(quiet.readAll())).contains("Runtime bootstrap complete"), timeout);
        quiet.terminate();
        QVERIFY(quiet.waitForFinished(timeout));
        said += QString::fromUtf8(quiet.readAll());
        QVERIFY2(said.contains("Quitting on signal"), qPrintable(said));
        for (const QString &line : traceLines)
            QVERIFY2(!said.contains(line), qPrintable(line + QStringLiteral(" in:\n") + said));
    }
};

KESTROWAN_TEST_MAIN(TestShellEndToEnd)
#include "tst_shell_e2e.moc"
