// The popup beside the program's own window on a real X server, driven through XTest as a user's
// hand would: keys typed into the program's window while the popup is open stay in that window,
// a click in that window closes the popup like a click anywhere else outside it, Escape in a rename
// ends the rename and only a second one closes the popup, the keys the popup shows on its badges
// do what they say, and the window the popup keeps between shows holds nothing while it is hidden.
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupContentView.h"
#include "Kestrowan/popup/PopupHeader.h"
#include "Kestrowan/popup/PopupItemCell.h"
#include "Kestrowan/popup/PopupWindowController.h"
#include "Platform/fake/FakeWorkspaceOpener.h"
#include "Platform/linux/X11Connection.h"
#include "tests/app/X11Windows.h"
#include "tests/dock/XTestKeyboard.h"
#include "tests/popup/PopupTestSupport.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestMain.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSet>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

constexpr quint32 keyA = 0x61, keyB = 0x62, keyC = 0x63, keyD = 0x64, keyX = 0x78, key2 = 0x32, keyComma = 0x2c;
constexpr quint32 escape = 0xff1b;
constexpr quint32 superL = 0xffeb;

// The window's states as the desktop reads them (_NET_WM_STATE).
QList<quint32> windowStates(xcb_connection_t *c, xcb_window_t window)
{
    const QByteArray name("_NET_WM_STATE");
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr);
    QList<quint32> states;
    if (!atom)
        return states;
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, atom->atom, XCB_ATOM_ATOM, 0, 4096), nullptr);
    std::free(atom);
    if (reply && reply->format == 32) {
        const auto *values = static_cast<const quint32 *>(xcb_get_property_value(reply));
        states = QList<quint32>(values, values + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return states;
}

// Runs `onScreen` once, when armed, at the first event the watched window gets once the X server
// has it on the screen.
class OnScreen : public QObject {
public:
    explicit OnScreen(std::function<void()> onScreen) : m_onScreen(std::move(onScreen)) {}
    bool armed = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (armed && watched->isWidgetType() && static_cast<QWidget *>(watched)->internalWinId()) {
            xcb_connection_t *c = qtX11Connection();
            const auto window = xcb_window_t(static_cast<QWidget *>(watched)->internalWinId());
            xcb_get_window_attributes_reply_t *attributes =
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
            const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(attributes);
            if (viewable) {
                armed = false;
                m_onScreen();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onScreen;
};

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
        // Escape in the program's window is that window's too: the popup stays.
        tap(escape);
        tap(keyD);
        QTRY_COMPARE_WITH_TIMEOUT(field->text(), QStringLiteral("abd"), 20000);
        QTest::qWait(300);
        QVERIFY(controller.isShowing());
        QCOMPARE(content->model().searchText(), QStringLiteral("x"));
        field->setText(QStringLiteral("ab"));

        // A click in the window closes the popup, and typing goes on where the user clicked (the
        // end of the text; a click away from the first, so that the two make no double click).
        m_pointer.click(fieldPoint + QPoint(120, 0));
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isShowing(), 20000);
        tap(keyC);
        QTRY_COMPARE_WITH_TIMEOUT(field->text(), QStringLiteral("abc"), 20000);
    }

    // The popup's window stays between shows. Hidden, it takes no keys and holds no grab: another
    // program can take the keyboard, and what the user types goes elsewhere; shown again for a
    // group edited meanwhile, it shows the new items; its owner destroys it, native window and all.
    void theKeptWindowHoldsNothingWhileHidden()
    {
        QWidget window;
        auto *field = new QLineEdit(&window);
        field->setGeometry(20, 20, 300, 30);
        window.setGeometry(80, 600, 360, 120);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QPointer<InteractivePopupPanel> panel;
        xcb_window_t native = XCB_NONE;
        {
            PopupWindowController controller;
            controller.setSignalSink([](const QString &, const QMap<QString, QString> &) {});
            controller.dockPositionSource = [] { return DockPosition::Bottom; };
            controller.visibleFrameSource = [] { return QRectF(0, 70, 1440, 805); };
            AppGroup group = PopupTest::numberedGroup(3, AppGroup::DisplayStyle::Grid);
            controller.showPopup(group, {}, QRectF(700, 4, 60, 60));
            panel = controller.panel();
            QVERIFY(QTest::qWaitForWindowExposed(panel));
            QTRY_VERIFY_WITH_TIMEOUT(panel->isActiveWindow(), 20000);
            native = xcb_window_t(panel->winId());
            tap(escape);
            QTRY_VERIFY_WITH_TIMEOUT(!controller.panel() && !panel->isVisible(), 20000);
            QVERIFY(panel); // kept for the next show

            // Another client gets the keyboard: nothing of ours grabs it.
            xcb_connection_t *other = xcb_connect(nullptr, nullptr);
            QVERIFY(!xcb_connection_has_error(other));
            const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
            xcb_grab_keyboard_reply_t *grab = xcb_grab_keyboard_reply(
                other, xcb_grab_keyboard(other, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr);
            QVERIFY(grab);
            const quint8 status = grab->status;
            std::free(grab);
            xcb_ungrab_keyboard(other, XCB_CURRENT_TIME);
            xcb_disconnect(other);
            QCOMPARE(status, quint8(XCB_GRAB_STATUS_SUCCESS));

            // Typing goes to the window the user clicks, not to the hidden panel.
            m_pointer.click(field->mapToGlobal(field->rect().center()));
            QTRY_VERIFY_WITH_TIMEOUT(field->hasFocus() && window.isActiveWindow(), 20000);
            tap(keyA);
            tap(keyB);
            QTRY_COMPARE_WITH_TIMEOUT(field->text(), QStringLiteral("ab"), 20000);

            // The group gained items and was renamed while no popup showed.
            group.name = QStringLiteral("Edited");
            for (const QString &name : {QStringLiteral("Late 1"), QStringLiteral("Late 2")})
                group.apps.append(PopupTest::application(name));
            controller.showPopup(group, {}, QRectF(700, 4, 60, 60));
            QCOMPARE(controller.panel(), panel.data());
            QTRY_VERIFY_WITH_TIMEOUT(panel->isActiveWindow(), 20000);
            auto *content = qobject_cast<PopupContentView *>(panel->content());
            QCOMPARE(content->cellCount(), 5);
            QTRY_VERIFY_WITH_TIMEOUT(content->cellAt(4), 20000);
            QCOMPARE(content->cellAt(4)->inputs().app.name, QStringLiteral("Late 2"));
            QCOMPARE(content->header()->title()->text(), QStringLiteral("Edited"));
            tap(keyC); // the popup's keys again: a search, not the field's text
            QTRY_COMPARE_WITH_TIMEOUT(content->model().searchText(), QStringLiteral("c"), 20000);
            QCOMPARE(field->text(), QStringLiteral("ab"));
        }
        // Gone with its owner, while the application lives on.
        QVERIFY(panel.isNull());
        xcb_connection_t *other = xcb_connect(nullptr, nullptr);
        QVERIFY(!xcb_connection_has_error(other));
        // The request leaves with the program's next flush of its connection.
        const auto windowGone = [&] {
            xcb_generic_error_t *error = nullptr;
            std::free(xcb_get_window_attributes_reply(other, xcb_get_window_attributes(other, native), &error));
            const bool gone = error && error->error_code == XCB_WINDOW;
            std::free(error);
            return gone;
        };
        QTRY_VERIFY_WITH_TIMEOUT(windowGone(), 20000);
        xcb_disconnect(other);
    }

    // The user renames the group in its popup and presses Escape: the editing ends with the typed
    // name kept and the popup open; a second Escape closes it. Both keys reach the program and the
    // desktop's global monitor alike.
    void escapeEndsTheRenameAndASecondClosesThePopup()
    {
        QStringList renamed;
        PopupWindowController controller;
        controller.setSignalSink([](const QString &, const QMap<QString, QString> &) {});
        controller.dockPositionSource = [] { return DockPosition::Bottom; };
        controller.visibleFrameSource = [] { return QRectF(0, 70, 1440, 805); };
        controller.onRenameGroup = [&renamed](const QUuid &, const QString &name) { renamed.append(name); };
        controller.showPopup(PopupTest::numberedGroup(3, AppGroup::DisplayStyle::Grid), {}, QRectF(700, 4, 60, 60));
        InteractivePopupPanel *panel = controller.panel();
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        QTRY_VERIFY_WITH_TIMEOUT(panel->isActiveWindow(), 20000);
        auto *content = qobject_cast<PopupContentView *>(panel->content());
        QLabel *title = content->header()->title();
        QLineEdit *field = nullptr;
        // Wait for the card to have grown in, so that the title is where it is drawn.
        QTRY_VERIFY_WITH_TIMEOUT(title->isVisible() && title->width() > 40, 20000);
        const QPoint onTitle = title->mapToGlobal(QPoint(12, title->height() / 2));
        QVERIFY(QTest::qWaitFor([&] {
            m_pointer.click(onTitle);
            m_pointer.click(onTitle);
            return QTest::qWaitFor([&] {
                field = content->header()->renameField();
                return field && field->isVisible() && field->hasFocus();
            }, 1000);
        }, 20000));
        QTRY_VERIFY_WITH_TIMEOUT(controller.isEditingTextField(), 20000);
        for (const quint32 letter : {keyD, keyA, keyX})
            tap(letter);
        QTRY_COMPARE_WITH_TIMEOUT(field->text(), QStringLiteral("dax"), 20000);

        tap(escape);
        QTRY_COMPARE_WITH_TIMEOUT(renamed, QStringList{QStringLiteral("dax")}, 20000);
        QVERIFY(!field->isVisible());
        QCOMPARE(title->text(), QStringLiteral("dax"));
        // Whatever else saw that Escape has had its say by the time a letter typed after it
        // searches: the popup is still up.
        tap(keyA);
        QTRY_COMPARE_WITH_TIMEOUT(content->model().searchText(), QStringLiteral("a"), 20000);
        QTest::qWait(300);
        QVERIFY(controller.isShowing());
        QCOMPARE(title->text(), QStringLiteral("dax"));

        tap(escape);
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isShowing(), 20000);
        QCOMPARE(renamed, QStringList{QStringLiteral("dax")});
    }

    // Between two shows another program takes the keyboard, later than anything this program has
    // read from the X server: each show of the kept window still takes it, ten times in a row.
    void everyShowTakesTheKeyboardBackFromAnotherProgram()
    {
        PopupWindowController controller;
        controller.setSignalSink([](const QString &, const QMap<QString, QString> &) {});
        controller.dockPositionSource = [] { return DockPosition::Bottom; };
        controller.visibleFrameSource = [] { return QRectF(0, 70, 1440, 805); };
        const AppGroup group = PopupTest::numberedGroup(3, AppGroup::DisplayStyle::List);
        xcb_connection_t *other = xcb_connect(nullptr, nullptr);
        QVERIFY(!xcb_connection_has_error(other));
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
        xcb_window_t panelWindow = XCB_WINDOW_NONE;
        for (int show = 1; show <= 10; ++show) {
            const QByteArray where = "show " + QByteArray::number(show);
            controller.showPopup(group, {}, QRectF(900, 4, 60, 60));
            InteractivePopupPanel *panel = controller.panel();
            panelWindow = xcb_window_t(panel->winId());
            QVERIFY2(QTest::qWaitFor([&] { return X11Windows().inputFocus() == quint32(panel->winId()); }, 20000), where);
            tap(keyX);
            auto *content = qobject_cast<PopupContentView *>(panel->content());
            QTRY_COMPARE_WITH_TIMEOUT(content->model().searchText(), QStringLiteral("x"), 20000);
            tap(escape);
            QTRY_VERIFY_WITH_TIMEOUT(!controller.panel() && !panel->isVisible(), 20000);
            // The other program's request carries the server's own time: later than any event here.
            xcb_set_input_focus(other, XCB_INPUT_FOCUS_POINTER_ROOT, root, XCB_CURRENT_TIME);
            xcb_flush(other);
            QTRY_COMPARE_WITH_TIMEOUT(X11Windows().inputFocus(), quint32(root), 20000);
        }
        // What each show tells the desktop of the window is said once, not once more per show.
        const QList<quint32> states = windowStates(other, panelWindow);
        QVERIFY(!states.isEmpty());
        QCOMPARE(QSet<quint32>(states.begin(), states.end()).size(), states.size());
        xcb_disconnect(other);
    }

    // A click on the desktop the moment the popup appears, before the program has come back to
    // its events, closes it; so does one made just before a popup gives way to the next. Each over
    // several shows of the kept window.
    void aClickOutsideAsThePopupAppearsClosesIt()
    {
        PopupWindowController controller;
        controller.setSignalSink([](const QString &, const QMap<QString, QString> &) {});
        controller.dockPositionSource = [] { return DockPosition::Bottom; };
        controller.visibleFrameSource = [] { return QRectF(0, 70, 1440, 805); };
        const AppGroup group = PopupTest::numberedGroup(3, AppGroup::DisplayStyle::List);
        const QPoint desktop(100, 100);
        OnScreen clickOnScreen([&] { m_pointer.click(desktop); });
        // The window is made at the first show, and kept.
        controller.showPopup(group, {}, QRectF(900, 4, 60, 60));
        controller.panel()->installEventFilter(&clickOnScreen);
        QVERIFY(QTest::qWaitForWindowExposed(controller.panel()));
        m_pointer.click(desktop);
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isShowing(), 20000);
        for (int show = 1; show <= 4; ++show) {
            const QByteArray where = "show " + QByteArray::number(show);
            QTRY_VERIFY_WITH_TIMEOUT(!controller.panel(), 20000);
            clickOnScreen.armed = true;
            controller.showPopup(group, {}, QRectF(900, 4, 60, 60));
            QVERIFY2(!clickOnScreen.armed, where);
            QTRY_VERIFY2_WITH_TIMEOUT(!controller.isShowing(), where, 20000);
        }
        for (int show = 1; show <= 4; ++show) {
            const QByteArray where = "switch " + QByteArray::number(show);
            QTRY_VERIFY_WITH_TIMEOUT(!controller.panel(), 20000);
            controller.showPopup(group, {}, QRectF(900, 4, 60, 60));
            QVERIFY(QTest::qWaitForWindowExposed(controller.panel()));
            m_pointer.click(desktop);
            controller.showPopup(PopupTest::numberedGroup(2, AppGroup::DisplayStyle::Grid), {}, QRectF(900, 4, 60, 60));
            QTRY_VERIFY2_WITH_TIMEOUT(!controller.isShowing(), where, 20000);
        }
    }

    void theKeysThePopupShowsWork()
    {
        PopupTest::RecordingItemStates states;
        QList<QUuid> edited;
        PopupWindowController controller;
        controller.setItemStates(&states);
        controller.setSignalSink([](const QString &, const QMap<QString, QString> &) {});
        controller.dockPositionSource = [] { return DockPosition::Bottom; };
        controller.visibleFrameSource = [] { return QRectF(0, 70, 1440, 805); };
        const AppGroup group = PopupTest::numberedGroup(3, AppGroup::DisplayStyle::List);
        const auto show = [&] {
            controller.showPopup(group, [&edited](const QUuid &id) { edited.append(id); }, QRectF(900, 4, 60, 60));
            QVERIFY(QTest::qWaitForWindowExposed(controller.panel()));
            QTRY_VERIFY_WITH_TIMEOUT(controller.panel()->isActiveWindow(), 20000);
            // The X server sends the keys there.
            QTRY_COMPARE_WITH_TIMEOUT(quint64(X11Windows().inputFocus()), quint64(controller.panel()->winId()), 20000);
        };
        show();
        auto *content = qobject_cast<PopupContentView *>(controller.panel()->content());
        QCOMPARE(content->cellAt(1)->commandBadgeText(), QStringLiteral("Super+2"));
        m_keyboard.chord({superL}, key2);
        QTRY_COMPARE_WITH_TIMEOUT(states.opened, QStringList({"App 2"}), 20000);
        QVERIFY(!controller.isShowing());

        show();
        m_keyboard.chord({superL}, keyA); // "Super+A" beside Open All
        QTRY_COMPARE_WITH_TIMEOUT(states.opened, QStringList({"App 2", "App 1", "App 2", "App 3"}), 20000);

        show();
        m_keyboard.chord({superL}, keyComma); // "Super+," beside the edit button
        QTRY_COMPARE_WITH_TIMEOUT(edited, QList<QUuid>({group.id}), 20000);

        // Shown again once the last one has faded out and gone: it has the keys again.
        QTRY_VERIFY_WITH_TIMEOUT(!controller.panel(), 20000);
        show();
        m_keyboard.chord({superL}, key2);
        QTRY_COMPARE_WITH_TIMEOUT(states.opened, QStringList({"App 2", "App 1", "App 2", "App 3", "App 2"}), 20000);
    }
};

KESTROWAN_TEST_MAIN(PopupFocusXvfbTest)
#include "tst_popupfocus_xvfb.moc"
