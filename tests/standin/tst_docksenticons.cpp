// The icons running programs hand the stand-in Dock are outside input it decodes itself: sent in a
// "policy" message by any client of the user, and kept in its list of running applications, so
// that the next Dock decodes them again as it starts. A PNG file of 141 bytes whose chunk names
// 768 MB costs a real Dock, on a socket of its own, nothing of what it names, and never keeps it
// from listening.
#include "Platform/dockstandin/RunningApplicationsFile.h"
#include "Platform/dockstandin/TapClientsFile.h"
#include "Platform/dockstandin/wire/DockWire.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "tests/standin/DockTreeAnswer.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestMain.h"

#include <QCborMap>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/prctl.h>

namespace {

constexpr int startTimeout = 20000;
// A Dock answers within a second of its start; a minute is what six such icons cost it once.
constexpr qint64 listeningWithinMs = 10000;
// What a Dock of a few tiles holds, with room for a checked build; each icon believed would take
// 768 MB.
constexpr qint64 peakBoundBytes = 512LL * 1024 * 1024;
constexpr int hostileApplications = 6;

qint64 peakResidentBytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// A stand-in Dock of its own, with its home and socket, ended when the test is done with it.
class OwnDock {
public:
    explicit OwnDock(const QString &home)
        : m_socketPath(home + QStringLiteral("/dock.sock"))
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("KESTROWAN_DOCK_SOCKET"), m_socketPath);
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    }
    ~OwnDock()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(startTimeout);
        }
    }

    // Starts it; the milliseconds until it answered, or -1 when it did not within the deadline.
    qint64 startAndTimeTheAnswer()
    {
        QElapsedTimer started;
        started.start();
        m_process.start(QStringLiteral(KESTROWAN_DOCK), {});
        if (!m_process.waitForStarted() || !treeAnswered(m_socketPath, QDeadlineTimer(startTimeout)))
            return -1;
        return started.elapsed();
    }
    bool stop()
    {
        return ::kill(pid_t(m_process.processId()), SIGTERM) == 0 && m_process.waitForFinished(startTimeout)
            && m_process.exitStatus() == QProcess::NormalExit;
    }
    const QByteArray &said() { return m_output += m_process.readAll(); }
    qint64 peakBytes() const { return peakResidentBytes(m_process.processId()); }
    const QString &socketPath() const { return m_socketPath; }
    bool answers() const { return treeAnswered(m_socketPath, QDeadlineTimer(startTimeout)); }

private:
    QString m_socketPath;
    QProcess m_process;
    QByteArray m_output;
};

const QByteArray skippedLine = "names more than it holds";

void addHostileTypes()
{
    QTest::addColumn<QByteArray>("type");
    QTest::newRow("text chunk") << QByteArray("tEXt");
    QTest::newRow("compressed text chunk") << QByteArray("zTXt");
}

} // namespace

class TestDockSentIcons : public QObject {
    Q_OBJECT

private slots:
    // The Dock answers its tree to a program it trusts only.
    void initTestCase() { QVERIFY(TrustStore::grant(TrustStore::executableOfThisProcess())); }

    // Six programs still running named with such an icon in the list a Dock left: the next Dock
    // listens at once, skips each icon with a line and stays small.
    void iconsInTheRunningApplicationsListCostTheDockNothing_data() { addHostileTypes(); }
    void iconsInTheRunningApplicationsListCostTheDockNothing()
    {
        QFETCH(QByteArray, type);
        const QString home = QDir::homePath() + QStringLiteral("/listed-") + QString::fromLatin1(type);
        QVERIFY(QDir().mkpath(home));
        std::vector<std::unique_ptr<QProcess>> programs;
        const auto endPrograms = qScopeGuard([&programs] {
            for (const std::unique_ptr<QProcess> &program : programs) {
                program->kill();
                program->waitForFinished();
            }
        });
        QList<RunningApplicationsFile::Application> listed;
        for (int i = 0; i < hostileApplications; ++i) {
            auto program = std::make_unique<QProcess>();
            program->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
            program->start(QStringLiteral("sleep"), {QStringLiteral("600")});
            QVERIFY(program->waitForStarted());
            const std::optional<TapClientsFile::Client> process = TapClientsFile::running(program->processId());
            QVERIFY(process);
            listed.append({*process, QStringLiteral("Hostile %1").arg(i), QStringLiteral("/usr/bin/sleep"),
                           HostileFiles::pngWithChunkPastTheEnd(type)});
            programs.push_back(std::move(program));
        }
        OwnDock dock(home);
        QVERIFY(RunningApplicationsFile(RunningApplicationsFile::besideSocket(dock.socketPath())).write(listed));

        const qint64 answeredMs = dock.startAndTimeTheAnswer();
        QVERIFY2(answeredMs >= 0, dock.said().right(2000).constData());
        qInfo("The Dock answered %lld ms after its start, at a peak of %lld MiB", answeredMs, dock.peakBytes() >> 20);
        QVERIFY2(answeredMs < listeningWithinMs, qPrintable(QString::number(answeredMs)));
        QVERIFY2(dock.peakBytes() < peakBoundBytes, qPrintable(QStringLiteral("%1 MiB").arg(dock.peakBytes() >> 20)));
        QTRY_VERIFY_WITH_TIMEOUT(dock.said().count(skippedLine) == hostileApplications, startTimeout);
        QVERIFY(dock.stop());
    }

    // A client tells its policy with such an icon: the Dock shows its tile with a stand-in and stays
    // small, and the next Dock, which finds the icon kept with the still running client, too.
    void anIconSentInAPolicyMessageCostsTheDockNothing_data() { addHostileTypes(); }
    void anIconSentInAPolicyMessageCostsTheDockNothing()
    {
        QFETCH(QByteArray, type);
        const QString home = QDir::homePath() + QStringLiteral("/sent-") + QString::fromLatin1(type);
        QVERIFY(QDir().mkpath(home));
        const QByteArray icon = HostileFiles::pngWithChunkPastTheEnd(type);
        QLocalSocket client;
        {
            OwnDock dock(home);
            QVERIFY2(dock.startAndTimeTheAnswer() >= 0, dock.said().right(2000).constData());
            client.connectToServer(dock.socketPath());
            QVERIFY(client.waitForConnected(startTimeout));
            client.write(DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::activationPolicy},
                                                  {QStringLiteral("policy"), QStringLiteral("regular")},
                                                  {QStringLiteral("name"), QStringLiteral("Hostile")},
                                                  {QStringLiteral("icon"), icon}}));
            QVERIFY(client.waitForBytesWritten(startTimeout));
            QTRY_VERIFY_WITH_TIMEOUT(dock.said().contains("Running application Hostile now has a tile"), startTimeout);
            qInfo("The Dock took the icon at a peak of %lld MiB", dock.peakBytes() >> 20);
            QVERIFY2(dock.peakBytes() < peakBoundBytes, qPrintable(QStringLiteral("%1 MiB").arg(dock.peakBytes() >> 20)));
            QVERIFY(dock.said().contains(skippedLine));
            QVERIFY(dock.answers());
            // Kept as it came, for the next Dock.
            const QList<RunningApplicationsFile::Application> kept =
                RunningApplicationsFile(RunningApplicationsFile::besideSocket(dock.socketPath())).read();
            QCOMPARE(kept.size(), 1);
            QCOMPARE(kept.first().icon, icon);
            QVERIFY(dock.stop());
        }
        OwnDock next(home);
        const qint64 answeredMs = next.startAndTimeTheAnswer();
        QVERIFY2(answeredMs >= 0, next.said().right(2000).constData());
        qInfo("The next Dock answered %lld ms after its start, at a peak of %lld MiB", answeredMs, next.peakBytes() >> 20);
        QVERIFY2(answeredMs < listeningWithinMs, qPrintable(QString::number(answeredMs)));
        QVERIFY2(next.peakBytes() < peakBoundBytes, qPrintable(QStringLiteral("%1 MiB").arg(next.peakBytes() >> 20)));
        QTRY_VERIFY_WITH_TIMEOUT(next.said().contains(skippedLine), startTimeout);
        QVERIFY(next.stop());
    }
};

KESTROWAN_TEST_MAIN(TestDockSentIcons)
#include "tst_docksenticons.moc"
