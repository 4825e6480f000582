#include "Kestrowan/groups/AsyncProcess.h"
#include "Platform/fake/FakeAccessibility.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "tests/docktiles/DockTestSupport.h"
#include "tests/support/TestMain.h"

#include <QProcess>
#include <QTemporaryFile>

#include <unistd.h>

namespace {

std::optional<AsyncProcess::Result> runAndWait(const QString &executable, const QStringList &arguments, bool capture)
{
    return awaitCompletion<AsyncProcess::Result>([&](std::function<void(AsyncProcess::Result)> done) {
        AsyncProcess::run(executable, arguments, capture, std::move(done));
    });
}

std::optional<bool> restartAndWait()
{
    return awaitCompletion<bool>([](std::function<void(bool)> done) { restartDock(std::move(done)); });
}

const QString shell = QStringLiteral("/bin/sh");

} // namespace

class TestAsyncProcess : public QObject {
    Q_OBJECT

private:
    FakeProcessRunner *installFakeRunner()
    {
        auto runner = std::make_unique<FakeProcessRunner>();
        FakeProcessRunner *raw = runner.get();
        ProcessRunner::install(std::move(runner));
        return raw;
    }

private slots:
    void cleanup()
    {
        ProcessRunner::install(nullptr);
        Accessibility::install(nullptr);
    }

    // Stands for the session's Dock as Accessibility reports it; nullopt when no Dock answers.
    void installDock(std::optional<qint64> processIdentifier)
    {
        auto accessibility = std::make_unique<FakeAccessibility>();
        accessibility->dockProcess = processIdentifier;
        Accessibility::install(std::move(accessibility));
    }

    void largeOutputIsCapturedWhileTheToolRuns()
    {
        // Far more than a pipe holds: a runner that reads only at the end would wait forever.
        const auto result = runAndWait(shell, {QStringLiteral("-c"), QStringLiteral("head -c 1500000 /dev/zero | tr '\\0' a; echo err >&2; exit 3")}, true);
        QVERIFY(result);
        QCOMPARE(result->terminationStatus, 3);
        QCOMPARE(result->output, std::optional<QString>(QString(1500000, QLatin1Char('a')) + QStringLiteral("err\n")));
    }

    void argumentsArePassedWithoutAShell()
    {
        const auto result = runAndWait(QStringLiteral("/usr/bin/printf"),
                                       {QStringLiteral("%s|"), QStringLiteral("a b"), QStringLiteral("$HOME"), QStringLiteral("*"), QStringLiteral("é")}, true);
        QVERIFY(result);
        QCOMPARE(result->terminationStatus, 0);
        QCOMPARE(result->output, std::optional<QString>(QStringLiteral("a b|$HOME|*|é|")));
    }

    void invalidUtf8GivesNoOutput()
    {
        const auto result = runAndWait(shell, {QStringLiteral("-c"), QStringLiteral("printf 'ok\\377\\376'; exit 2")}, true);
        QVERIFY(result);
        QCOMPARE(result->terminationStatus, 2);
        QCOMPARE(result->output, std::nullopt);
    }

    void withoutCaptureThereIsNoOutput()
    {
        const auto result = runAndWait(QStringLiteral("/bin/true"), {}, false);
        QVERIFY(result);
        QCOMPARE(result->terminationStatus, 0);
        QCOMPARE(result->output, std::nullopt);

        const auto empty = runAndWait(QStringLiteral("/bin/true"), {}, true);
        QVERIFY(empty);
        QCOMPARE(empty->output, std::optional<QString>(QString()));
    }

    void missingExecutableGivesMinusOne()
    {
        for (bool capture : {false, true}) {
            const auto result = runAndWait(QStringLiteral("/nonexistent/tool"), {QStringLiteral("x")}, capture);
            QVERIFY(result);
            QCOMPARE(result->terminationStatus, -1);
            QCOMPARE(result->output, std::nullopt);
        }
        QTemporaryFile plainFile;
        QVERIFY(plainFile.open());
        const auto notExecutable = runAndWait(plainFile.fileName(), {}, false);
        QVERIFY(notExecutable);
        QCOMPARE(notExecutable->terminationStatus, -1);
    }

    void crashIsNeverASuccess_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("killed") << QStringLiteral("kill -KILL $$");
        QTest::newRow("segmentation fault") << QStringLiteral("kill -SEGV $$");
        QTest::newRow("terminated") << QStringLiteral("kill -TERM $$");
    }

    void crashIsNeverASuccess()
    {
        QFETCH(QString, script);
        const auto result = runAndWait(shell, {QStringLiteral("-c"), script}, true);
        QVERIFY(result);
        QVERIFY(result->terminationStatus != 0);
    }

    void dockTargetNamesTheUser()
    {
        QCOMPARE(dockServiceTarget(501), QStringLiteral("gui/501/com.apple.Dock.agent"));
    }

    void launchctlSuccessStopsTheChain()
    {
        FakeProcessRunner *runner = installFakeRunner();
        runner->results.insert(QStringLiteral("/bin/launchctl"), {0, std::nullopt});
        QCOMPARE(restartAndWait(), std::optional<bool>(true));
        QCOMPARE(runner->invocations.size(), 1);
        const FakeProcessRunner::Invocation &call = runner->invocations.first();
        QCOMPARE(call.executable, QStringLiteral("/bin/launchctl"));
        QCOMPARE(call.arguments, (QStringList{QStringLiteral("kickstart"), QStringLiteral("-k"), dockServiceTarget(getuid())}));
        QVERIFY(!call.captureOutput);
    }

    void eachFailedTryFallsThroughToTheNext_data()
    {
        QTest::addColumn<QList<int>>("statuses"); // launchctl, osascript, killall; -1 = cannot start
        QTest::addColumn<int>("expectedTries");
        QTest::addColumn<bool>("expectedResult");
        QTest::newRow("launchctl missing, osascript works") << QList<int>{-1, 0, 0} << 2 << true;
        QTest::newRow("launchctl fails, osascript fails, killall works") << QList<int>{5, 1, 0} << 3 << true;
        QTest::newRow("all missing") << QList<int>{-1, -1, -1} << 3 << false;
        QTest::newRow("killall finds no Dock") << QList<int>{-1, -1, 1} << 3 << false;
    }

    void eachFailedTryFallsThroughToTheNext()
    {
        QFETCH(QList<int>, statuses);
        QFETCH(int, expectedTries);
        QFETCH(bool, expectedResult);
        FakeProcessRunner *runner = installFakeRunner();
        installDock(std::nullopt);
        const QStringList tools{QStringLiteral("/bin/launchctl"), QStringLiteral("/usr/bin/osascript"), QStringLiteral("/usr/bin/killall")};
        for (int i = 0; i < 3; ++i) {
            if (statuses[i] != -1)
                runner->results.insert(tools[i], {statuses[i], std::nullopt});
        }
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(QStringLiteral("launchctl kickstart exited with status %1").arg(statuses[0])));
        if (expectedTries == 3)
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(QStringLiteral("osascript quit Dock exited with status %1").arg(statuses[1])));
        if (!expectedResult)
            QTest::ignoreMessage(QtCriticalMsg, "killall Dock failed");

        QCOMPARE(restartAndWait(), std::optional<bool>(expectedResult));
        QCOMPARE(runner->executables(), tools.mid(0, expectedTries));
        if (expectedTries >= 2)
            QCOMPARE(runner->invocations[1].arguments, (QStringList{QStringLiteral("-e"), QStringLiteral("quit app \"Dock\"")}));
        if (expectedTries == 3)
            QCOMPARE(runner->invocations[2].arguments, QStringList{QStringLiteral("Dock")});
    }

    void theSessionsOwnDockIsStoppedRatherThanEveryDock()
    {
        // `killall Dock` would stop the Dock of every session; the one that answers this session's
        // Accessibility is stopped instead, and the keeper that watches it starts it again.
        FakeProcessRunner *runner = installFakeRunner();
        runner->results.insert(QStringLiteral("/bin/launchctl"), {5, std::nullopt});
        runner->results.insert(QStringLiteral("/usr/bin/osascript"), {1, std::nullopt});
        QProcess dock;
        dock.start(QStringLiteral("/bin/sleep"), {QStringLiteral("120")});
        QVERIFY(dock.waitForStarted());
        installDock(dock.processId());
        QTest::ignoreMessage(QtCriticalMsg, "launchctl kickstart exited with status 5");
        QTest::ignoreMessage(QtCriticalMsg, "osascript quit Dock exited with status 1");

        QCOMPARE(restartAndWait(), std::optional<bool>(true));
        QCOMPARE(runner->executables(), (QStringList{QStringLiteral("/bin/launchctl"), QStringLiteral("/usr/bin/osascript")}));
        QVERIFY(dock.waitForFinished(20000));
        QCOMPARE(dock.exitStatus(), QProcess::CrashExit);
    }
};

KESTROWAN_TEST_MAIN(TestAsyncProcess)
#include "tst_asyncprocess.moc"
