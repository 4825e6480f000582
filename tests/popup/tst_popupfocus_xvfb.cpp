// The popup beside the program's own window on a real X server, driven through XTest as a user's
// hand would: keys typed into the program's window while the popup is open stay in that window,
// and a click in that window closes the popup like a click anywhere else outside it.
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupContentView.h"
#include "Kestrowan/popup/PopupWindowController.h"
#include "Platform/fake/FakeWorkspaceOpener.h"
#include "tests/dock/XTestKeyboard.h"
#include "tests/popup/PopupTestSupport.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestMain.h"

#include <QLineEdit>

namespace {

constexpr quint32 keyA = 0x61, keyB = 0x62, keyC = 0x63, keyX = 0x78;

} // namespace

class PopupFocusXvfbTest : public QObject {
    Q_OBJECT

    XTestPointer m_pointer;
    XTestKeyboard m_keyboard;

    void tap(quint32 keysym)
    {
        m_keyboard.key(keysym, true);
        m_keyboard.key(keysym, false);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_pointer.isValid() && m_keyboard.isValid(), "needs an X server");
        WorkspaceOpener::install(std::make_unique<FakeWorkspaceOpener>());
    }
    void cleanupTestCase() { WorkspaceOpener::install(nullptr); }

    void theProgramsWindowKeepsItsKeysAndClicks()
    {
        QWidget window;
        window.setWindowTitle(QStringLiteral("Kestrowan"));
        auto *field = new QLineEdit(&window);
        field->setGeometry(20, 20, 300, 30);
        window.setGeometry(80, 80, 360, 120);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint fieldPoint = field->mapToGlobal(field->rect().center());
        m_pointer.click(fieldPoint);
        QTRY_VERIFY_WITH_TIMEOUT(field->hasFocus() && window.isActiveWindow(), 20000);

        PopupWindowController controller;
        controller.setSignalSink([](const QString &, const QMap<QString, QString> &) {});
        controller.dockPositionSource = [] { return DockPosition::Bottom; };
        controller.visibleFrameSource = [] { return QRectF(0, 70, 1440, 805); };
        controller.showPopup(PopupTest::numberedGroup(3, AppGroup::DisplayStyle::List), {}, QRectF(900, 4, 60, 60));
        InteractivePopupPanel *panel = controller.panel();
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        auto *content = qobject_cast<PopupContentView *>(panel->content());
        // The popup has the keyboard: a letter searches.
        QTRY_VERIFY_WITH_TIMEOUT(panel->isActiveWindow(), 20000);
        tap(keyX);
        QTRY_COMPARE_WITH_TIMEOUT(content->model().searchText(), QStringLiteral("x"), 20000);

        // The user switches back to the program's window while the popup stays: the keys are the window's.
        window.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(window.isActiveWindow(), 20000);
        tap(keyA);
        tap(keyB);
        QTRY_COMPARE_WITH_TIMEOUT(field->text(), QStringLiteral("ab"), 20000);
        QCOMPARE(content->model().searchText(), QStringLiteral("x"));
        QVERIFY(controller.isShowing());

        // A click in the window closes the popup, and typing goes on where the user clicked (the
        // end of the text; a click away from the first, so that the two make no double click).
        m_pointer.click(fieldPoint + QPoint(120, 0));
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isShowing(), 20000);
        tap(keyC);
        QTRY_COMPARE_WITH_TIMEOUT(field->text(), QStringLiteral("abc"), 20000);
    }
};

KESTROWAN_TEST_MAIN(PopupFocusXvfbTest)
#include "tst_popupfocus_xvfb.moc"
