// The X11 hot keys on a real X server, with keys typed through XTest.

#include "Platform/linux/X11HotKeys.h"
#include "tests/support/TestMain.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <cstdlib>

namespace {

constexpr quint32 signature = 0x4B535457;

// A keyboard of its own on the test's X server: presses keys by their symbols, and can grab a
// combination as another program would.
class XTestKeyboard {
public:
    XTestKeyboard()
        : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        m_symbols = xcb_key_symbols_alloc(m_connection);
    }
    ~XTestKeyboard()
    {
        if (m_symbols)
            xcb_key_symbols_free(m_symbols);
        xcb_disconnect(m_connection);
    }

    bool isValid() const { return m_symbols != nullptr; }

    quint8 keycode(quint32 keysym) const
    {
        xcb_keycode_t *codes = xcb_key_symbols_get_keycode(m_symbols, keysym);
        const quint8 code = codes ? codes[0] : 0;
        std::free(codes);
        return code;
    }

    void key(quint32 keysym, bool down)
    {
        xcb_test_fake_input(m_connection, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode(keysym), XCB_CURRENT_TIME,
                            XCB_NONE, 0, 0, 0);
        xcb_flush(m_connection);
    }

    // Presses the modifiers, taps the key, releases the modifiers.
    void chord(const QList<quint32> &modifiers, quint32 keysym)
    {
        for (quint32 modifier : modifiers)
            key(modifier, true);
        key(keysym, true);
        key(keysym, false);
        for (quint32 modifier : modifiers)
            key(modifier, false);
    }

    bool grab(quint32 keysym, quint16 modifiers)
    {
        xcb_generic_error_t *error = xcb_request_check(
            m_connection, xcb_grab_key_checked(m_connection, 1, m_root, modifiers, keycode(keysym), XCB_GRAB_MODE_ASYNC,
                                               XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }

private:
    xcb_connection_t *m_connection;
    xcb_key_symbols_t *m_symbols = nullptr;
    quint32 m_root = 0;
};

constexpr quint32 controlL = 0xffe3;
constexpr quint32 shiftL = 0xffe1;
constexpr quint32 capsLock = 0xffe5;
constexpr quint32 numLock = 0xff7f;

} // namespace

class TestHotKeysXvfb : public QObject {
    Q_OBJECT

private slots:
    void aRegisteredCombinationArrivesOncePerPress()
    {
        XTestKeyboard keyboard;
        QVERIFY2(keyboard.isValid(), "needs an X server");
        X11HotKeys hotKeys;
        QList<quint32> pressed;
        hotKeys.installHandler([&](const HotKeyEvent &event) {
            QCOMPARE(event.hotKeyID->signature, signature);
            pressed.append(event.hotKeyID->id);
        });
        QString failure;
        const std::optional<quint64> one = hotKeys.registerHotKey(18, HotKeyModifier::control, {signature, 0}, &failure);
        QVERIFY2(one, qPrintable(failure));
        QVERIFY(hotKeys.registerHotKey(19, HotKeyModifier::control | HotKeyModifier::shift, {signature, 1}));

        keyboard.chord({controlL}, '1');
        QTRY_COMPARE(pressed, QList<quint32>{0});
        keyboard.chord({controlL, shiftL}, '2');
        QTRY_COMPARE(pressed, (QList<quint32>{0, 1}));
        // Control+Shift+1 is not Control+1, and Control+2 is not Control+Shift+2.
        keyboard.chord({controlL, shiftL}, '1');
        keyboard.chord({controlL}, '2');
        // With Caps Lock and Num Lock on, the combination still works.
        keyboard.chord({}, capsLock);
        keyboard.chord({}, numLock);
        keyboard.chord({controlL}, '1');
        QTRY_COMPARE(pressed, (QList<quint32>{0, 1, 0}));
        keyboard.chord({}, capsLock);
        keyboard.chord({}, numLock);

        hotKeys.unregisterHotKey(*one);
        keyboard.chord({controlL}, '1');
        keyboard.chord({controlL, shiftL}, '2');
        QTRY_COMPARE(pressed, (QList<quint32>{0, 1, 0, 1}));
    }

    void aTakenOrUnmappableCombinationFails()
    {
        XTestKeyboard keyboard;
        QVERIFY2(keyboard.isValid(), "needs an X server");
        QVERIFY(keyboard.grab('3', XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK)); // another program, Caps Lock variant only
        X11HotKeys hotKeys;
        QString failure;
        QVERIFY(!hotKeys.registerHotKey(20, HotKeyModifier::control, {signature, 0}, &failure));
        QCOMPARE(failure, QStringLiteral("another program holds the combination"));
        QVERIFY(!hotKeys.registerHotKey(52, HotKeyModifier::control, {signature, 1}, &failure));
        QVERIFY(failure.contains(QStringLiteral("52")));
        // What the failed attempt had grabbed was given back: the plain variant is free.
        XTestKeyboard other;
        QVERIFY(other.grab('3', XCB_MOD_MASK_CONTROL));
    }
};

KESTROWAN_TEST_MAIN(TestHotKeysXvfb)
#include "tst_hotkeys_xvfb.moc"
