// The rounded panels on a bare X server, where no compositing manager runs: what lies behind the
// popup's corners and the quick-add panel's margin shows there, never black.
#include "Kestrowan/mainwindow/QuickAddPopover.h"
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupWindowController.h"
#include "Platform/FloatingPanel.h"
#include "Platform/fake/FakeGlobalEventMonitor.h"
#include "tests/popup/PopupTestSupport.h"
#include "tests/support/TestMain.h"

#include <QPushButton>
#include <QScreen>

using namespace PopupTest;

namespace {

QColor screenPixel(const QPoint &at)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixelColor(0, 0);
}

// The colour of the window under the panels: neither a panel's surface nor black.
const QColor backdrop(255, 204, 0);

void paintBackdrop(QWidget &window)
{
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, backdrop);
    window.setPalette(palette);
    window.setGeometry(100, 100, 700, 500);
}

} // namespace

class TestPopupCornersXvfb : public QObject {
    Q_OBJECT

private slots:
    void theCornersShowWhatIsBehindThePanel()
    {
        QVERIFY2(!FloatingPanel::compositingManagerRunning(), "a bare X server has no compositing manager");
        GlobalEventMonitor::installFactory([] { return std::make_unique<FakeGlobalEventMonitor>(); });
        SignalRecorder signals_;
        // A window of its own colour where the popup will be.
        QWidget behind(nullptr, Qt::FramelessWindowHint);
        paintBackdrop(behind);
        behind.show();
        QVERIFY(QTest::qWaitForWindowExposed(&behind));

        auto controller = std::make_unique<PopupWindowController>();
        controller->setSignalSink(signals_.sink());
        controller->dockPositionSource = [] { return DockPosition::Bottom; };
        const qreal screenHeight = QGuiApplication::primaryScreen()->geometry().height();
        controller->visibleFrameSource = [screenHeight] { return QRectF(0, 0, 1000, screenHeight); };
        // Anchored so that the panel lies over that window (bottom-left space).
        controller->showPopup(group(QStringLiteral("Studio"), {}, AppGroup::DisplayStyle::List), {},
                              QRectF(400, screenHeight - 500, 40, 40));
        InteractivePopupPanel *panel = controller->panel();
        QVERIFY(panel);
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        const QRect frame = panel->frameGeometry();
        QVERIFY(QRect(100, 100, 700, 500).contains(frame));
        // Drawn: the panel's middle is its card, not the window behind it.
        const auto pixel = screenPixel;
        QVERIFY(QTest::qWaitFor([&] { return pixel(frame.center()) != backdrop; }, 10000));
        for (const QPoint &corner : {frame.topLeft(), frame.topRight(), frame.bottomLeft(), frame.bottomRight()}) {
            const QColor seen = pixel(corner);
            QVERIFY2(seen == backdrop, qPrintable(QStringLiteral("corner at %1,%2 is %3")
                                                            .arg(corner.x()).arg(corner.y()).arg(seen.name())));
        }
        controller.reset();
        GlobalEventMonitor::installFactory({});
    }

    void theQuickAddPanelsMarginShowsWhatIsBehindIt()
    {
        QWidget window(nullptr, Qt::FramelessWindowHint);
        paintBackdrop(window);
        auto *anchor = new QPushButton(QStringLiteral("+"), &window);
        // Low enough in the window for the panel to open above it.
        anchor->setGeometry(300, 420, 40, 30);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *popover = new QuickAddPopover(AddToGroupMenuActions{}, anchor);
        popover->popup();
        QVERIFY(QTest::qWaitForWindowExposed(popover));
        const QRect frame = popover->frameGeometry();
        QVERIFY(window.frameGeometry().contains(frame));
        // Drawn: the panel's middle is its surface, and its rows are there.
        QVERIFY(QTest::qWaitFor([&] { return screenPixel(frame.center()) != backdrop; }, 10000));
        for (const QPoint &corner : {frame.topLeft(), frame.topRight(), frame.bottomLeft(), frame.bottomRight()}) {
            const QColor seen = screenPixel(corner);
            QVERIFY2(seen == backdrop, qPrintable(QStringLiteral("corner at %1,%2 is %3")
                                                            .arg(corner.x()).arg(corner.y()).arg(seen.name())));
        }
        popover->close();
    }
};

KESTROWAN_TEST_MAIN(TestPopupCornersXvfb)
#include "tst_popupcorners_xvfb.moc"
