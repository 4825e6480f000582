// The global monitor on a real X server, driven through XTest as a user's hand would: presses
// anywhere are reported with where they happened, the scroll wheel is not a press, and of all keys
// only Escape is ever reported, so typing in another program never reaches the popup.
#include "Platform/linux/X11GlobalEventMonitor.h"
#include "tests/dock/XTestKeyboard.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>

namespace {

constexpr quint32 escapeKeysym = 0xff1b;
constexpr quint32 letterAKeysym = 0x61;
constexpr quint32 returnKeysym = 0xff0d;

} // namespace

class GlobalMonitorXvfbTest : public QObject {
    Q_OBJECT

    XTestPointer m_pointer;
    XTestKeyboard m_keyboard;

private slots:
    void initTestCase() { QVERIFY2(m_pointer.isValid() && m_keyboard.isValid(), "needs an X server"); }

    void pressesAndOnlyEscape()
    {
        X11GlobalEventMonitor monitor;
        QSignalSpy presses(&monitor, &GlobalEventMonitor::mouseDown);
        QSignalSpy escapes(&monitor, &GlobalEventMonitor::escapePressed);
        QVERIFY(monitor.start());

        for (const quint32 key : {letterAKeysym, returnKeysym}) {
            m_keyboard.key(key, true);
            m_keyboard.key(key, false);
        }
        m_keyboard.key(escapeKeysym, true);
        m_keyboard.key(escapeKeysym, false);
        QVERIFY(escapes.wait(20000));
        QCOMPARE(escapes.size(), 1); // the letter and Return before it were never reported

        m_pointer.move(QPoint(200, 150));
        m_pointer.press(4); // a wheel step
        m_pointer.release(4);
        m_pointer.click(QPoint(200, 150), 3);
        QVERIFY(presses.wait(20000));
        QCOMPARE(presses.size(), 1);
        QCOMPARE(presses.first().at(0).toPoint(), QPoint(200, 150));
        QCOMPARE(presses.first().at(1).value<Qt::MouseButton>(), Qt::RightButton);

        monitor.stop();
        m_keyboard.key(escapeKeysym, true);
        m_keyboard.key(escapeKeysym, false);
        // A second monitor sees that Escape was pressed after the first one stopped.
        X11GlobalEventMonitor witness;
        QSignalSpy witnessed(&witness, &GlobalEventMonitor::escapePressed);
        QVERIFY(witness.start());
        m_keyboard.key(escapeKeysym, true);
        m_keyboard.key(escapeKeysym, false);
        QVERIFY(witnessed.wait(20000));
        QCOMPARE(escapes.size(), 1);
    }

    // The popup keeps one monitor for the program's life and stops and starts it with each show: a
    // stopped monitor reports nothing, neither then nor after it starts again, and a started one
    // reports as a new one would.
    void stoppedAndStartedAgain()
    {
        X11GlobalEventMonitor monitor;
        QSignalSpy presses(&monitor, &GlobalEventMonitor::mouseDown);
        QSignalSpy escapes(&monitor, &GlobalEventMonitor::escapePressed);
        X11GlobalEventMonitor witness;
        QSignalSpy witnessed(&witness, &GlobalEventMonitor::escapePressed);
        QSignalSpy witnessedPresses(&witness, &GlobalEventMonitor::mouseDown);
        QVERIFY(witness.start());

        for (int round = 0; round < 3; ++round) {
            QVERIFY(monitor.start());
            m_keyboard.key(escapeKeysym, true);
            m_keyboard.key(escapeKeysym, false);
            QVERIFY(escapes.wait(20000));
            QCOMPARE(escapes.size(), round + 1);
            m_pointer.click(QPoint(120 + round, 90), 1);
            QVERIFY(presses.wait(20000));
            QCOMPARE(presses.size(), round + 1);
            QCOMPARE(presses.last().at(0).toPoint(), QPoint(120 + round, 90));

            monitor.stop();
            witnessed.clear();
            witnessedPresses.clear();
            m_keyboard.key(escapeKeysym, true);
            m_keyboard.key(escapeKeysym, false);
            m_pointer.click(QPoint(300, 200), 1);
            // The witness saw both, so they reached the server while the monitor was stopped.
            QTRY_VERIFY_WITH_TIMEOUT(!witnessed.isEmpty() && !witnessedPresses.isEmpty(), 20000);
        }
        // Nothing the stopped monitor was spared came late.
        QTest::qWait(300);
        QCOMPARE(escapes.size(), 3);
        QCOMPARE(presses.size(), 3);
    }

    // A popup closed with Escape stops the monitor, and the next show starts it again, often at
    // once: what reached the server before a stop is never reported after the next start, however
    // late the monitor's thread comes to read it. (An Escape typed into the last popup would close
    // the next one the moment it shows.)
    void nothingFromBeforeAStopComesAfterTheNextStart()
    {
        X11GlobalEventMonitor monitor;
        QSignalSpy presses(&monitor, &GlobalEventMonitor::mouseDown);
        QSignalSpy escapes(&monitor, &GlobalEventMonitor::escapePressed);
        for (int round = 1; round <= 200; ++round) {
            const QByteArray where = "round " + QByteArray::number(round);
            QVERIFY(monitor.start());
            m_keyboard.key(escapeKeysym, true);
            m_keyboard.key(escapeKeysym, false);
            m_keyboard.sync();
            monitor.stop();
            QVERIFY(monitor.start());
            // Pressed after the start: reported, after anything the thread read before it.
            m_pointer.click(QPoint(150, 100), 1);
            QVERIFY2(presses.wait(20000), where);
            QVERIFY2(escapes.isEmpty(), where + ": an Escape typed before the stop came after the start");
            monitor.stop();
            presses.clear();

            QVERIFY(monitor.start());
            m_pointer.click(QPoint(250, 100), 1);
            monitor.stop();
            QVERIFY(monitor.start());
            m_keyboard.key(escapeKeysym, true);
            m_keyboard.key(escapeKeysym, false);
            QVERIFY2(escapes.wait(20000), where);
            QVERIFY2(presses.isEmpty(), where + ": a press made before the stop came after the start");
            monitor.stop();
            escapes.clear();
        }
    }
};

KESTROWAN_TEST_MAIN(GlobalMonitorXvfbTest)
#include "tst_globalmonitor_xvfb.moc"
