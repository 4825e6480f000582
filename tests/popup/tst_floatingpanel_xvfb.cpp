// A floating panel on a bare X server (no window manager): the program's own windows that open or
// come forward after it must not cover it, while its menus still open above it.

#include "Platform/FloatingPanel.h"
#include "tests/app/X11Windows.h"
#include "tests/support/TestMain.h"

#include <QMenu>
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
        panel.setAttribute(Qt::WA_ShowWithoutActivating);
        panel.setGeometry(100, 100, 300, 200);
        FloatingPanel::keepAboveOwnWindows(&panel);
        panel.show();
        QTRY_VERIFY_WITH_TIMEOUT(stackingPosition(panel) >= 0, timeout);

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
};

KESTROWAN_TEST_MAIN(TestFloatingPanelXvfb)
#include "tst_floatingpanel_xvfb.moc"
