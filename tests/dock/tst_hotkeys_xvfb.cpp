// The X11 hot keys on a real X server, with keys typed through XTest.

#include "Platform/linux/X11HotKeys.h"
#include "tests/dock/XTestKeyboard.h"
#include "tests/support/TestMain.h"

#include <xcb/xcb.h>

namespace {

constexpr quint32 signature = 0x4B535457;

using namespace XTestKeys;

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
