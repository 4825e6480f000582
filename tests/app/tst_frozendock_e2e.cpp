// The real program beside a stand-in Dock that stops answering (its process frozen): whatever it
// was asking the Dock, the program quits at once, and never waits on the Dock at its end.
#include "tests/app/EmptyStandinDock.h"
#include "tests/app/ProgramOnX.h"
#include "tests/support/StoppedProcess.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>

#include <memory>

#include <csignal>

namespace {

constexpr int timeout = 30000;
// The longest the program's end may wait on the Dock, and what a loaded machine adds to a quit.
constexpr qint64 dockWaitMs = 1000;
constexpr qint64 marginMs = 2000;

} // namespace

class TestFrozenDockQuit : public QObject {
    Q_OBJECT
private:
    // The stand-in Dock for the whole test, the program started anew for each case.
    EmptyStandinDock m_standin;
    std::unique_ptr<ProgramOnX> m_run;
    qint64 m_dock = 0;

private slots:
    void initTestCase()
    {
        QVERIFY2(X11Windows().isValid(), "needs an X server");
        const QString dockFailure = m_standin.start(QStringLiteral(KESTROWAN_DOCK_KEEPER), timeout);
        QVERIFY2(dockFailure.isEmpty(), qPrintable(dockFailure));
        m_dock = m_standin.tiles.dockProcess().value_or(0);
        QVERIFY(m_dock > 0);
    }

    void cleanupTestCase()
    {
        if (m_dock > 0)
            ::kill(pid_t(m_dock), SIGCONT);
        m_standin.stop();
    }

    void cleanup()
    {
        if (m_run)
            m_run->end(timeout, false);
        m_run.reset();
    }

    // Frozen at different moments of the program's life with it: before it starts (everything it
    // asks at its start waits in the socket's queue), while it starts, and once it has settled;
    // each a few times in a row, since each start meets the Dock in another state.
    void quitWithAFrozenDockIsPrompt_data()
    {
        QTest::addColumn<QString>("moment");
        for (int round = 1; round <= 3; ++round) {
            for (const char *moment : {"before", "while", "settled"})
                QTest::addRow("%s, round %d", moment, round) << QString::fromLatin1(moment);
        }
    }

    void quitWithAFrozenDockIsPrompt()
    {
        QFETCH(QString, moment);
        if (moment == QLatin1String("before"))
            QVERIFY(StoppedProcess::stop(m_dock));
        const auto thaw = qScopeGuard([this] { ::kill(pid_t(m_dock), SIGCONT); });
        m_run = std::make_unique<ProgramOnX>();
        QVERIFY(m_run->start(QStringLiteral(KESTROWAN_PROGRAM)));
        if (moment == QLatin1String("while"))
            QVERIFY(StoppedProcess::stop(m_dock));
        QTRY_VERIFY_WITH_TIMEOUT(m_run->output().contains("Runtime bootstrap complete"), timeout);
        if (moment == QLatin1String("settled")) {
            QTRY_VERIFY_WITH_TIMEOUT(m_run->statusItem(), timeout);
            QVERIFY(StoppedProcess::stop(m_dock));
        }
        QElapsedTimer quitting;
        quitting.start();
        m_run->process.terminate();
        QVERIFY(m_run->process.waitForFinished(timeout));
        const qint64 took = quitting.elapsed();
        qInfo("quitting took %lld ms", took);
        QCOMPARE(m_run->process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_run->process.exitCode(), 0);
        QVERIFY2(took < dockWaitMs + marginMs,
                 qPrintable(QStringLiteral("%1 ms; the program said:\n%2").arg(took).arg(m_run->output().right(3000))));
    }
};

KESTROWAN_TEST_MAIN(TestFrozenDockQuit)
#include "tst_frozendock_e2e.moc"
