#include "Kestrowan/groups/AsyncProcess.h"
#include "Platform/fake/FakeDockRestarter.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "Platform/linux/ChildOutput.h"
#include "tests/docktiles/DockTestSupport.h"
#include "tests/support/TestMain.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>


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
        DockRestarter::install(nullptr);
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

    // A tool whose output nobody asked for still speaks to the log, as one message under its
    // name, never raw on the program's terminal; a flood of it is cut to what the log holds.
    void withoutCaptureWhatTheToolSaysIsLogged()
    {
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("^sh said:\n    out\n    err$")));
        const auto result = runAndWait(shell, {QStringLiteral("-c"), QStringLiteral("echo out; echo err >&2; exit 4")}, false);
        QVERIFY(result);
        QCOMPARE(result->terminationStatus, 4);
        QCOMPARE(result->output, std::nullopt);

        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("^sh said:\n    a+\n    … and %1 bytes more$").arg(1500000 - ChildOutput::keptBytes)));
        const auto flood = runAndWait(shell, {QStringLiteral("-c"), QStringLiteral("head -c 1500000 /dev/zero | tr '\\0' a")}, false);
        QVERIFY(flood);
        QCOMPARE(flood->terminationStatus, 0);
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

    void aRestartGoesToTheDockRestarterAndRunsNoTool_data()
    {
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("the Dock comes back") << true;
        QTest::newRow("no Dock comes back") << false;
    }

    void aRestartGoesToTheDockRestarterAndRunsNoTool()
    {
        // No service manager, script runner or machine-wide process killer: the platform layer restarts this
        // session's Dock, so no command runs and nothing logs a missing tool.
        QFETCH(bool, succeeds);
        FakeProcessRunner *runner = installFakeRunner();
        auto restarter = std::make_unique<FakeDockRestarter>();
        restarter->succeeds = succeeds;
        FakeDockRestarter *raw = restarter.get();
        DockRestarter::install(std::move(restarter));

        QCOMPARE(restartAndWait(), std::optional<bool>(succeeds));
        QCOMPARE(raw->restarts, 1);
        QVERIFY(runner->invocations.isEmpty());
        DockRestarter::install(nullptr);
    }
};

KESTROWAN_TEST_MAIN(TestAsyncProcess)
#include "tst_asyncprocess.moc"
