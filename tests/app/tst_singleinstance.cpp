// A second start against a running program, with real processes on both sides: the running one
// stopped, busy, flooded with idle connections or gone, and hand-overs it cannot take.
#include "Kestrowan/app/AppDelegate.h"
#include "Kestrowan/app/SingleInstance.h"
#include "Kestrowan/shell/Localization.h"
#include "Platform/fake/FakeStatusItem.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/StoppedProcess.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>

namespace {

const QString instanceName = QStringLiteral("KestrowanSingleInstanceTest");

// A start of this same executable in the role of the program's entry point.
class Start {
public:
    explicit Start(const QStringList &arguments, const QByteArray &fileLimit = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KESTROWAN_TEST_START", "1");
        if (!fileLimit.isEmpty())
            environment.insert("KESTROWAN_TEST_FILE_LIMIT", QString::fromLatin1(fileLimit));
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationFilePath(), arguments);
    }
    ~Start()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        signal(SIGCONT);
        process.terminate();
        if (!process.waitForFinished(20000))
            process.kill();
        process.waitForFinished(20000);
    }

    // Waits for a line of its standard output that starts with `prefix`.
    bool waitForLine(const QByteArray &prefix, int timeoutMilliseconds = 30000)
    {
        QDeadlineTimer deadline(timeoutMilliseconds);
        while (!deadline.hasExpired()) {
            while (process.canReadLine()) {
                const QByteArray line = process.readLine().trimmed();
                lines.append(line);
                if (line.startsWith(prefix))
                    return true;
            }
            if (process.state() == QProcess::NotRunning)
                return false;
            process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
        return false;
    }

    // Waits for its end: empty once it ended, otherwise what it was doing. A start ends within its
    // hand-over deadline (10 s) after starting; a sanitizer build on a loaded machine starts
    // several times slower, hence the margin.
    QString finish()
    {
        QElapsedTimer waited;
        waited.start();
        if (process.state() == QProcess::NotRunning && process.error() == QProcess::FailedToStart)
            return QStringLiteral("it did not start: %1").arg(process.errorString());
        if (process.state() == QProcess::NotRunning || process.waitForFinished(120000))
            return {};
        return QStringLiteral("still running after %1 ms (%2); standard error so far: %3")
            .arg(waited.elapsed())
            .arg(process.errorString(), errors());
    }
    // Stops or continues it; never anything else (a process id of 0 would name the whole group).
    bool signal(int number)
    {
        const qint64 pid = process.processId();
        return pid > 0 && ::kill(pid_t(pid), number) == 0;
    }
    QString errors() { return QString::fromUtf8(process.readAllStandardError()); }

    QProcess process;
    QList<QByteArray> lines;
};

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void aStoppedRunningOneStopsTheSecondStartWithAMessage()
    {
        Start running({});
        QVERIFY(running.waitForLine("primary"));
        QVERIFY(StoppedProcess::stop(running.process.processId()));

        Start second({"kestrowan://open/settings"});
        QCOMPARE(second.finish(), QString());
        QCOMPARE(second.process.exitCode(), 2);
        QVERIFY(!second.lines.contains("primary"));
        QVERIFY(second.errors().contains(localized("launch.secondStart.notAnswering")));
    }

    void aBusyRunningOneStillTakesTheLink()
    {
        Start running({});
        QVERIFY(running.waitForLine("primary"));
        running.process.write("busy 6\n");
        QVERIFY(running.waitForLine("busy"));

        Start second({"kestrowan://open/settings"});
        QCOMPARE(second.finish(), QString());
        QCOMPARE(second.process.exitCode(), 0);
        QVERIFY(running.waitForLine("received kestrowan://open/settings"));
    }

    void idleConnectionsNeitherExhaustNorCloseTheSocket()
    {
        // Few descriptors, many idle clients: accepting them all would run out and close the socket.
        Start running({}, "48");
        QVERIFY(running.waitForLine("primary"));
        const QString path = SingleInstance(instanceName).socketPath();
        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < 100; ++i) {
            idle.push_back(std::make_unique<QLocalSocket>());
            idle.back()->connectToServer(path);
            idle.back()->waitForConnected(2000);
        }

        Start second({"kestrowan://open/main"});
        QCOMPARE(second.finish(), QString());
        QCOMPARE(second.process.exitCode(), 0);
        QVERIFY(running.waitForLine("received kestrowan://open/main"));
    }

    void aSocketWithoutALivingOwnerIsTakenOver()
    {
        Start gone({});
        QVERIFY(gone.waitForLine("primary"));
        gone.process.kill();
        QVERIFY(gone.process.waitForFinished(20000));

        Start next({});
        QVERIFY(next.waitForLine("primary"));
    }

    void anOversizedHandOverFailsLoudly()
    {
        Start running({});
        QVERIFY(running.waitForLine("primary"));
        // One argument may not pass 128 KiB; three together pass what the running one takes.
        const QString part = "kestrowan://open/settings?" + QString(100 * 1024, u'a');
        Start second({part, part, part});
        QCOMPARE(second.finish(), QString());
        QCOMPARE(second.process.exitCode(), 1);
        QVERIFY(second.errors().contains(localized("launch.secondStart.failed")));
    }

    void linksThatGoNowhereAreLoggedOneLineEach()
    {
        StatusItem::installFactory([] { return std::make_unique<FakeStatusItem>(); });
        SingleInstance running(instanceName);
        QCOMPARE(running.claim({}), SingleInstance::Role::Primary);
        AppDelegate delegate;
        delegate.reopenMainWindow = [] {};
        delegate.navigateToGroup = [](const QUuid &) {};
        delegate.navigateToSettings = [] {};
        QObject::connect(&running, &SingleInstance::argumentsReceived, &delegate,
                         [&delegate](const QList<QUrl> &urls) { delegate.openURLs(urls); });
        QSignalSpy received(&running, &SingleInstance::argumentsReceived);
        LogCapture log;

        Start second({"kestrowan://open/nowhere", "kestrowan://elsewhere/main", "file://otherhost/tmp/x.kestrowanlink",
                      "kestrowan://open/settings"});
        QVERIFY(received.wait(30000));
        QCOMPARE(second.finish(), QString());
        QCOMPARE(second.process.exitCode(), 0);
        QCOMPARE(log.count("^Ignored a link Kestrowan does not handle: kestrowan://open/nowhere$"), 1);
        QCOMPARE(log.count("^Ignored a link Kestrowan does not handle: kestrowan://elsewhere/main$"), 1);
        QCOMPARE(log.count("^Ignored a link to a file on another host: file://otherhost/tmp/x.kestrowanlink$"), 1);
        // Another host's file is never looked for on this machine.
        QCOMPARE(log.count("^Ignored link file "), 0);
        QCOMPARE(log.count("^Received deep link: kestrowan://open/settings$"), 1);
    }
};

// The same executable plays each start: it claims the program as the entry point does, and as the
// running one reports what it received ("busy N" on its input keeps it from answering N seconds).
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("KESTROWAN_TEST_START")) {
        if (qEnvironmentVariableIsSet("KESTROWAN_TEST_FILE_LIMIT")) {
            const rlim_t limit = rlim_t(qEnvironmentVariableIntValue("KESTROWAN_TEST_FILE_LIMIT"));
            const rlimit files{limit, limit};
            setrlimit(RLIMIT_NOFILE, &files);
        }
        QCoreApplication app(argc, argv);
        SingleInstance instance(instanceName);
        if (const std::optional<int> exitCode = instance.startOrHandOver(QCoreApplication::arguments().mid(1)))
            return *exitCode;
        std::printf("primary\n");
        std::fflush(stdout);
        QObject::connect(&instance, &SingleInstance::argumentsReceived, [](const QList<QUrl> &urls) {
            QStringList texts;
            for (const QUrl &url : urls)
                texts.append(url.toString());
            std::printf("received %s\n", qPrintable(texts.join(u' ')));
            std::fflush(stdout);
        });
        QSocketNotifier input(0, QSocketNotifier::Read);
        QObject::connect(&input, &QSocketNotifier::activated, [&input] {
            char line[64] = {};
            const ssize_t size = ::read(0, line, sizeof line - 1);
            if (size <= 0) {
                input.setEnabled(false);
                return;
            }
            int seconds = 0;
            if (std::sscanf(line, "busy %d", &seconds) == 1) {
                std::printf("busy\n");
                std::fflush(stdout);
                // This is the busy first instance itself: its event loop is held on purpose, so a
                // second start meets a program that does not answer for a while.
                QThread::sleep(seconds);
            }
        });
        return app.exec();
    }
    prepareIsolatedTestEnvironment("TestSingleInstance");
    QApplication app(argc, argv);
    TestSingleInstance test;
    QTEST_SET_MAIN_SOURCE_PATH
    return runTestObject(&test, argc, argv);
}

#include "tst_singleinstance.moc"
