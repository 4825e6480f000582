// Work that follows a change waits for the change's repaint, and goes with its context.
#include "Kestrowan/shell/AfterRepaint.h"
#include "tests/support/TestMain.h"

#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

namespace {

// Counts the repaints of the widget it watches.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestAfterRepaint : public QObject {
    Q_OBJECT

private slots:
    void aKeysEchoIsPaintedBeforeTheWorkItSetGoing()
    {
        QLineEdit field;
        field.resize(240, 32);
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        PaintCounter counter;
        field.installEventFilter(&counter);
        int paintsBeforeKey = -1, paintsWhenWorkRan = -1, paintsWhenTimerRan = -1;
        connect(&field, &QLineEdit::textEdited, this, [&] {
            paintsBeforeKey = counter.paints;
            AfterRepaint::post(&field, [&] { paintsWhenWorkRan = counter.paints; });
            // A zero-time timer set at the same moment is no later than the work, and may come
            // before the repaint: that is why the work is not put on one.
            QTimer::singleShot(0, &field, [&] { paintsWhenTimerRan = counter.paints; });
        });
        QTest::keyClick(&field, Qt::Key_A);
        QTRY_VERIFY_WITH_TIMEOUT(paintsWhenWorkRan >= 0 && paintsWhenTimerRan >= 0, 10000);
        QCOMPARE(field.text(), QStringLiteral("a"));
        QVERIFY2(paintsWhenWorkRan > paintsBeforeKey, "the work ran before the key's echo was painted");
        QVERIFY(paintsWhenWorkRan >= paintsWhenTimerRan);
    }

    void workPostedSeveralTimesRunsInOrderAndGoesWithItsContext()
    {
        QStringList ran;
        auto context = std::make_unique<QObject>();
        AfterRepaint::post(context.get(), [&] { ran << QStringLiteral("first"); });
        AfterRepaint::post(context.get(), [&] { ran << QStringLiteral("second"); });
        QTRY_COMPARE_WITH_TIMEOUT(ran, (QStringList{QStringLiteral("first"), QStringLiteral("second")}), 10000);

        AfterRepaint::post(context.get(), [&] { ran << QStringLiteral("dropped"); });
        context.reset();
        // Nothing to wait for: the work went with its context, so a turn of the loop runs nothing.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCOMPARE(ran.size(), 2);
    }

    void workMayEndItsOwnContext()
    {
        auto *context = new QObject;
        QPointer<QObject> watched(context);
        bool ran = false;
        AfterRepaint::post(context, [&] {
            ran = true;
            delete context;
        });
        QTRY_VERIFY_WITH_TIMEOUT(ran, 10000);
        QVERIFY(watched.isNull());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

KESTROWAN_TEST_MAIN(TestAfterRepaint)
#include "tst_afterrepaint.moc"
