// The program's record of what it made, met as a user meets it: the program killed as it builds a
// group's folder in Sync All, the user then saving files of their own under the names it had
// planned; and a record that something else stands in the place of. The next start, Sync All and
// deleting the group keep every file of the user's, and nothing stalls or ends the program.
#include "WindowedProgram.h"

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "tests/app/FakeDesktop.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <csignal>
#include <sys/stat.h>

namespace {

constexpr int timeout = 30000;

QString recordsFolder()
{
    return appSupportDirectoryURL() + QStringLiteral("/Made Entries");
}

// The paths of the names the records hold in `state` ("p": announced, not yet made).
QStringList plannedNames(const QByteArray &state)
{
    return recordedEntryPaths(recordsFolder(), {state});
}

// The names the records say were announced and never confirmed, with nothing standing under them:
// the paths a user may now save files of their own at.
QStringList plannedFreeNames()
{
    QStringList free;
    for (const QString &path : plannedNames(QByteArray("p"))) {
        // A folder whose record went is read as an earlier version's, which takes any file under
        // the icon's name for its own: left out here, tried where adopting is.
        if (path.endsWith(QStringLiteral("/Icon\r")))
            continue;
        struct stat status {};
        if (QFileInfo(path).dir().exists() && ::lstat(QFile::encodeName(path).constData(), &status) != 0)
            free.append(path);
    }
    return free;
}

QByteArray usersBytes(const QString &path)
{
    return "the user's own " + QFileInfo(path).fileName().toUtf8();
}

} // namespace

class TestRecordTrials : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowedProgram> m_program;
    int m_trials = 0;
    int m_namesTried = 0;

    void clearHome()
    {
        QDir(appSupportDirectoryURL()).removeRecursively();
        QFile::remove(dockFilePath());
    }

    // Every file of the user's is there with what they saved in it.
    void verifyUsersFiles(const QStringList &placed, const char *after)
    {
        for (const QString &path : placed)
            QVERIFY2(readBytes(path) == usersBytes(path), qPrintable(QStringLiteral("after %1: %2 holds \"%3\"").arg(QLatin1String(after), path, QString::fromUtf8(readBytes(path)))));
    }

private slots:
    void init()
    {
        installFakeDesktop();
        clearHome();
        DockService::clearSyncBlock();
        installSucceedingProcessRunner();
        UserDefaults::standard().setValue(QStringLiteral("didCompleteOnboarding"), true);
        m_program = std::make_unique<WindowedProgram>(timeout);
    }
    void cleanup() { m_program.reset(); }

    // The program killed as it writes an entry of a new group's folder in Sync All (stopped at its
    // temporary, or at a random moment), then the user saves a file under each name it had
    // planned there. The next start, a Sync All and deleting every group leave those files as the
    // user saved them.
    void filesSavedUnderPlannedNamesAfterAKillStay_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("atTemporary");
        // Each action builds a group's folder in Sync All before it does its own part.
        for (const char *action : {"delete", "reset", "sweep"}) {
            for (int row = 0; row < 2; ++row)
                QTest::addRow("%s, stopped at a temporary %d", action, row) << QString::fromLatin1(action) << true;
        }
        for (const char *action : {"syncall", "rename", "delete", "reset", "sweep"}) {
            for (int row = 0; row < 4; ++row)
                QTest::addRow("%s, killed at a random moment %d", action, row) << QString::fromLatin1(action) << false;
        }
    }
    void filesSavedUnderPlannedNamesAfterAKillStay()
    {
        QFETCH(QString, action);
        QFETCH(bool, atTemporary);
        clearHome();
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(USERFILES_ACTOR_PATH), atTemporary ? QStringList{action, QStringLiteral("named")} : QStringList{action});
        QVERIFY(child.waitForStarted());
        QByteArray said;
        const auto heard = [&](const QByteArray &start) {
            said += child.readAllStandardOutput();
            return said.contains('\n' + start) || said.startsWith(start);
        };
        if (atTemporary) {
            while (!heard("temporary ") && child.state() == QProcess::Running && child.waitForReadyRead(timeout)) {
            }
            QVERIFY(heard("temporary "));
        } else {
            while (!heard("placed ") && child.state() == QProcess::Running && child.waitForReadyRead(timeout)) {
            }
            QVERIFY(heard("placed "));
            QThread::usleep(QRandomGenerator::global()->bounded(0, 300000));
        }
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(timeout));

        const QStringList placed = plannedFreeNames();
        if (atTemporary)
            QVERIFY2(!placed.isEmpty(), "no name was planned and left unmade");
        for (const QString &path : placed)
            writeBytes(path, usersBytes(path));
        ++m_trials;
        m_namesTried += int(placed.size());

        QVERIFY(m_program->launch());
        verifyUsersFiles(placed, "the start");
        // The group being built when the program was killed may not have reached the stored groups.
        if (!m_program->store().groups().isEmpty())
            QVERIFY(m_program->syncAll());
        verifyUsersFiles(placed, "Sync All");
        while (!m_program->store().groups().isEmpty())
            QVERIFY(m_program->deleteGroup(m_program->store().groups().first().id));
        verifyUsersFiles(placed, "deleting the groups");
        m_program->quit();
        QVERIFY(m_program->launch());
        verifyUsersFiles(placed, "the sweep at the next start");
    }

    // Something else in the place of a group's folder's record: a link to a document of the
    // user's, a fifo, a link to an endless device, a folder. The program starts, syncs, deletes the
    // group and quits without stalling or ending; the document stays as it was.
    void aRecordReplacedByAnotherKindOfEntry_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"link to a document", "fifo", "link to a device", "folder"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void aRecordReplacedByAnotherKindOfEntry()
    {
        QFETCH(QString, kind);
        const QString document = QDir::homePath() + QStringLiteral("/Letters/Letter.txt");
        writeBytes(document, "the user's letter");
        QVERIFY(m_program->launch());
        const AppGroup work = m_program->addGroup(QStringLiteral("Work"));
        QVERIFY(m_program->syncAll());
        const QString folder = m_program->folderOf(work);
        struct stat status {};
        QVERIFY(::stat(QFile::encodeName(folder).constData(), &status) == 0);
        const QString record = recordsFolder() + QStringLiteral("/%1-%2").arg(quint64(status.st_dev)).arg(quint64(status.st_ino));
        QVERIFY(QFileInfo(record).isFile());
        m_program->quit();
        QVERIFY(QFile::remove(record));
        if (kind == QStringLiteral("link to a document"))
            QVERIFY(QFile::link(document, record));
        else if (kind == QStringLiteral("fifo"))
            QVERIFY(::mkfifo(QFile::encodeName(record).constData(), 0600) == 0);
        else if (kind == QStringLiteral("link to a device"))
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), record));
        else
            QVERIFY(QDir().mkpath(record + QStringLiteral("/inner")));
        for (int round = 0; round < 3; ++round) {
            QVERIFY(m_program->launch());
            QVERIFY(m_program->syncAll());
            QCOMPARE(readBytes(document), QByteArray("the user's letter"));
            m_program->quit();
        }
        QVERIFY(m_program->launch());
        QVERIFY(m_program->deleteGroup(work.id));
        m_program->quit();
        QCOMPARE(readBytes(document), QByteArray("the user's letter"));
    }

    void cleanupTestCase() { qInfo("%d kills, %d planned names then saved by the user", m_trials, m_namesTried); }
};

KESTROWAN_TEST_MAIN(TestRecordTrials)
#include "tst_recordtrials.moc"
