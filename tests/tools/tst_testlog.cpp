#include "tests/support/TestMain.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <memory>
#include <vector>

// The program logs from its worker threads while a test runs. Every line reaches the test's reports,
// and no two lines at once break them.
class TestTestLog : public QObject {
    Q_OBJECT
private slots:
    void linesLoggedFromManyThreadsAtOnceAllReachTheReports()
    {
        constexpr int loggingThreads = 8;
        constexpr int linesPerThread = 1500;
        if (qEnvironmentVariableIsSet("KESTROWAN_TESTLOG_WRITER")) {
            std::vector<std::unique_ptr<QThread>> threads;
            for (int t = 0; t < loggingThreads; ++t) {
                threads.emplace_back(QThread::create([t] {
                    for (int line = 0; line < linesPerThread; ++line)
                        qInfo("logged line %d of thread %d", line, t);
                }));
            }
            for (const auto &thread : threads)
                thread->start();
            for (int line = 0; line < linesPerThread; ++line)
                qInfo("logged line %d of the main thread", line);
            for (const auto &thread : threads)
                QVERIFY(thread->wait(QDeadlineTimer(60'000)));
            return;
        }
        // The same function in a process of its own that writes both kinds of report, as test.sh asks.
        QTemporaryDir reports;
        QVERIFY(reports.isValid());
        QProcess writer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KESTROWAN_TESTLOG_WRITER"), QStringLiteral("1"));
        writer.setProcessEnvironment(environment);
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer.setStandardOutputFile(QProcess::nullDevice());
        writer.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("linesLoggedFromManyThreadsAtOnceAllReachTheReports"), QStringLiteral("-maxwarnings"),
                      QStringLiteral("0"), QStringLiteral("-o"),
                      reports.filePath(QStringLiteral("report.xml,junitxml")), QStringLiteral("-o"),
                      reports.filePath(QStringLiteral("report.txt,txt"))});
        QVERIFY(writer.waitForStarted());
        QVERIFY(writer.waitForFinished(90'000));
        QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(writer.exitCode(), 0);
        const int expected = (loggingThreads + 1) * linesPerThread;
        for (const QString &report : {QStringLiteral("report.xml"), QStringLiteral("report.txt")}) {
            QFile file(reports.filePath(report));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(int(file.readAll().count("logged line ")), expected);
        }
    }
};

KESTROWAN_TEST_MAIN(TestTestLog)
#include "tst_testlog.moc"
