// The popup's rounded corners on a bare X server, where no compositing manager runs: what lies
// behind a corner shows there, never black.
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupWindowController.h"
#include "Platform/FloatingPanel.h"
#include "Platform/fake/FakeGlobalEventMonitor.h"
#include "tests/popup/PopupTestSupport.h"
#include "tests/support/TestMain.h"

#include <QScreen>

using namespace PopupTest;

class TestPopupCornersXvfb : public QObject {
    Q_OBJECT

private slots:
    void theCornersShowWhatIsBehindThePanel()
    {
        QVERIFY2(!FloatingPanel::compositingManagerRunning(), "a bare X server has no compositing manager");
        GlobalEventMonitor::installFactory([] { return std::make_unique<FakeGlobalEventMonitor>(); });
        SignalRecorder signals_;
        // A white window where the popup will be.
        QWidget behind(nullptr, Qt::FramelessWindowHint);
        behind.setAutoFillBackground(true);
        QPalette white = behind.palette();
        white.setColor(QPalette::Window, Qt::white);
        behind.setPalette(white);
        behind.setGeometry(100, 100, 700, 500);
        behind.show();
        QVERIFY(QTest::qWaitForWindowExposed(&behind));

        auto controller = std::make_unique<PopupWindowController>();
        controller->setSignalSink(signals_.sink());
        controller->dockPositionSource = [] { return DockPosition::Bottom; };
        const qreal screenHeight = QGuiApplication::primaryScreen()->geometry().height();
        controller->visibleFrameSource = [screenHeight] { return QRectF(0, 0, 1000, screenHeight); };
        // Anchored so that the panel lies over the white window (bottom-left space).
        controller->showPopup(group(QStringLiteral("Studio"), {}, AppGroup::DisplayStyle::List), {},
                              QRectF(400, screenHeight - 500, 40, 40));
        InteractivePopupPanel *panel = controller->panel();
        QVERIFY(panel);
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        const QRect frame = panel->frameGeometry();
        QVERIFY(QRect(100, 100, 700, 500).contains(frame));
        // Drawn: the panel's middle is its card, not the white behind it.
        const auto pixel = [](const QPoint &at) {
            return QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixelColor(0, 0);
        };
        QVERIFY(QTest::qWaitFor([&] { return pixel(frame.center()) != QColor(Qt::white); }, 10000));
        for (const QPoint &corner : {frame.topLeft(), frame.topRight(), frame.bottomLeft(), frame.bottomRight()}) {
            const QColor seen = pixel(corner);
            QVERIFY2(seen.lightness() > 200, qPrintable(QStringLiteral("corner at %1,%2 is %3")
                                                            .arg(corner.x()).arg(corner.y()).arg(seen.name())));
        }
        controller.reset();
        GlobalEventMonitor::installFactory({});
    }
};

KESTROWAN_TEST_MAIN(TestPopupCornersXvfb)
#include "tst_popupcorners_xvfb.moc"
