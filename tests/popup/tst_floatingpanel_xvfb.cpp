// A floating panel on a bare X server (no window manager): the program's own windows that open or
// come forward after it must not cover it, while its menus still open above it.

#include "Platform/FloatingPanel.h"
#include "tests/app/X11Windows.h"
#include "tests/support/TestMain.h"

#include <QDeadlineTimer>
#include <QMenu>
#include <QThread>
#include <QWidget>

namespace {

constexpr int timeout = 20000;

// Where the window stands among the screen's windows, counted from the bottom; -1 when not shown.
int stackingPosition(const QWidget &window)
{
    const QList<X11Windows::Window> windows = X11Windows().all();
    for (qsizetype i = 0; i < windows.size(); ++i) {
        if (windows.at(i).id == quint32(window.winId()) && windows.at(i).viewable)
            return int(i);
    }
    return -1;
}

// Shows a floating panel as the program presents its popup, and waits until it is on screen.
void showPanel(QWidget &panel)
{
    panel.setAttribute(Qt::WA_ShowWithoutActivating);
    panel.setGeometry(100, 100, 300, 200);
    FloatingPanel::keepAboveOwnWindows(&panel);
    panel.show();
    panel.raise();
    panel.activateWindow();
    QVERIFY(QTest::qWaitFor([&] { return stackingPosition(panel) >= 0; }, timeout));
}

bool isAbove(const QWidget &upper, const QWidget &lower)
{
    const int up = stackingPosition(upper), low = stackingPosition(lower);
    return up >= 0 && low >= 0 && up > low;
}

} // namespace

class TestFloatingPanelXvfb : public QObject {
    Q_OBJECT

private slots:
    void laterWindowsOpenBelowThePanel()
    {
        QWidget panel(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        showPanel(panel);
        if (QTest::currentTestFailed())
            return;

        // A window opened afterwards, over the same place: the panel stays on top.
        QWidget window;
        window.setGeometry(50, 50, 500, 400);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(panel, window), timeout);

        // Brought forward again, it still goes under.
        window.hide();
        QTRY_COMPARE_WITH_TIMEOUT(stackingPosition(window), -1, timeout);
        window.show();
        window.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(panel, window), timeout);

        // A menu is not covered by the panel.
        QMenu menu;
        menu.addAction(QStringLiteral("Open"));
        menu.popup(QPoint(150, 150));
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(menu, panel), timeout);
        menu.close();

        // A hidden panel is left where it is.
        panel.hide();
        QTRY_COMPARE_WITH_TIMEOUT(stackingPosition(panel), -1, timeout);
        window.hide();
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(stackingPosition(window) >= 0, timeout);
        QVERIFY(!panel.isVisible());
    }

    // The popup comes up first; the program's main window is then shown and brought forward, and the
    // program goes on with other work before it reads anything from the X server again (as at
    // start-up). The panel must already be on top then, not only once the server's notes are read.
    void mainWindowShownAfterThePopupWhileTheProgramIsBusy()
    {
        QWidget panel(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        showPanel(panel);
        if (QTest::currentTestFailed())
            return;

        QWidget mainWindow;
        mainWindow.setWindowTitle(QStringLiteral("Kestrowan"));
        mainWindow.setGeometry(50, 50, 500, 400);
        mainWindow.show();
        mainWindow.raise();
        mainWindow.activateWindow();
        // Asked from a connection of its own, without returning to this program's event loop.
        QDeadlineTimer deadline(timeout);
        while (!isAbove(panel, mainWindow) && !deadline.hasExpired())
            QThread::yieldCurrentThread();
        QVERIFY(isAbove(panel, mainWindow));

        // Once the event loop runs again, the order holds.
        QTRY_VERIFY_WITH_TIMEOUT(stackingPosition(mainWindow) >= 0, timeout);
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(panel, mainWindow), timeout);
    }
};

KESTROWAN_TEST_MAIN(TestFloatingPanelXvfb)
#include "tst_floatingpanel_xvfb.moc"
