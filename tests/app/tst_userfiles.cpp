// A group's folder is a plain folder the user opens from its Dock tile, and may keep documents and
// folders of their own in. Every action of the program that rebuilds or removes such a folder
// (Sync All, a rename followed by Update Dock, deleting the group, Reset Everything, the sweep at
// start of a folder whose group was deleted on another display) takes only what the program made;
// what the user put there stays, and where the folder had to go, the user is told where it stays.
#include "WindowedProgram.h"

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "tests/app/FakeDesktop.h"
#include "Platform/fake/FakeApplicationActivation.h"
#include "Platform/fake/FakeStatusItem.h"
#include "Platform/fake/FakeSystemAppearance.h"
#include "Platform/fake/FakeUserDefaults.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QLineEdit>
#include <QSignalSpy>

#include <csignal>

namespace {

constexpr int timeout = 30000;
// How many times in a row each action meets the user's files.
constexpr int rounds = 3;
// How many times the program is killed during each action.
constexpr int killsPerAction = 10;
// Items of one name in one group, and how long their Sync All may take at most: a name found by
// trying the numbers from 2 each time takes minutes for them.
constexpr int manyItems = 60000;
constexpr int manyItemsDeadline = 90000;
// Groups of one name in one Sync All.
constexpr int manyGroups = 2000;

// What the user keeps in the folder: a document and a folder with a picture in it.
const QMap<QString, QByteArray> usersThings{{"Notes.txt", "my notes"}, {"Photos", "<folder>"}, {"Photos/beach.jpg", "a picture"}};

void putUsersThings(const QString &folder)
{
    writeBytes(folder + QStringLiteral("/Notes.txt"), "my notes");
    writeBytes(folder + QStringLiteral("/Photos/beach.jpg"), "a picture");
}

// Whether the user's things are in `tree`, whatever else is.
bool holdsUsersThings(const QMap<QString, QByteArray> &tree)
{
    for (auto it = usersThings.cbegin(); it != usersThings.cend(); ++it) {
        if (tree.value(it.key()) != it.value())
            return false;
    }
    return true;
}

QString describe(const QMap<QString, QByteArray> &tree)
{
    QStringList names;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        names.append(it.key() + u'=' + QString::fromUtf8(it.value()));
    return names.join(QStringLiteral(", "));
}

} // namespace

class TestUserFiles : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowedProgram> m_program;
    QString m_projects;
    int m_kills = 0;

    void launch() { QVERIFY(m_program->launch()); }
    void quit() { m_program->quit(); }
    MainView *view() const { return m_program->view(); }
    GroupManager &store() const { return m_program->store(); }
    AppGroup addGroup(const QString &name) { return m_program->addGroup(name); }
    bool syncAll(int deadline = 0) { return m_program->syncAll(deadline); }
    QString folderOf(const AppGroup &group) const { return m_program->folderOf(group); }

    // The folder once the program let it go: the user's things, nothing of the program's, and a
    // message naming where they are.
    void verifyKeptForTheUser(const QString &folder)
    {
        QCOMPARE(folderTree(folder), usersThings);
        const QString told = localizedFormat(QStringLiteral("groups.userFilesKept"), {folder});
        QVERIFY(told.contains(folder));
        QTRY_COMPARE_WITH_TIMEOUT(view()->toast().value_or(AppToast{}).text, told, timeout);
        QCOMPARE(view()->toast()->kind, AppToast::Kind::Warning);
    }

private slots:
    void init()
    {
        installFakeDesktop();
        QDir(appSupportDirectoryURL()).removeRecursively();
        QFile::remove(dockFilePath());
        DockService::clearSyncBlock();
        installSucceedingProcessRunner();
        UserDefaults::standard().setValue(QStringLiteral("didCompleteOnboarding"), true);
        m_program = std::make_unique<WindowedProgram>(timeout);
        m_projects = m_program->projects();
    }

    void cleanup() { m_program.reset(); }

    // Sync All rebuilds the folder in place: the user's things keep their place and their names,
    // and an item whose entry would take one of those names gets another.
    void syncAllKeepsTheUsersThings()
    {
        launch();
        AppGroup work = addGroup(QStringLiteral("Work"));
        QVERIFY(syncAll());
        const QString folder = folderOf(work);
        putUsersThings(folder);
        // An item added later whose entry would be named like the user's document.
        const QString notes = QDir::homePath() + QStringLiteral("/Letters/Notes.txt");
        writeBytes(notes, "another document");
        work.apps.append(makeItem(QStringLiteral("file:") + notes, QStringLiteral("Notes.txt"), notes));
        store().updateGroup(work);
        for (int round = 0; round < rounds; ++round) {
            QVERIFY(syncAll());
            const QMap<QString, QByteArray> tree = folderTree(folder);
            QVERIFY2(holdsUsersThings(tree), qPrintable(describe(tree)));
            QCOMPARE(QFileInfo(folder + QStringLiteral("/Notes 2.txt")).symLinkTarget(), notes);
            QCOMPARE(QFileInfo(folder + QStringLiteral("/Projects")).symLinkTarget(), m_projects);
        }
        QVERIFY(!view()->toast());
    }

    // A rename moves the folder to its new name with the user's things in it; Update Dock then
    // rebuilds it there.
    void renameAndUpdateDockKeepsTheUsersThings()
    {
        launch();
        AppGroup work = addGroup(QStringLiteral("Work"));
        QVERIFY(syncAll());
        putUsersThings(folderOf(work));
        for (int round = 0; round < rounds; ++round) {
            const QString name = QStringLiteral("Office %1").arg(round);
            QString button;
            QVERIFY(m_program->renameAndUpdateDock(work.id, name, &button));
            QCOMPARE(button, localized(QStringLiteral("editor.syncUpdate")));
            work = store().groups().first();
            const QString folder = folderOf(work);
            QCOMPARE(QFileInfo(folder).fileName(), name);
            const QMap<QString, QByteArray> tree = folderTree(folder);
            QVERIFY2(holdsUsersThings(tree), qPrintable(describe(tree)));
            QVERIFY(tree.contains(QStringLiteral(".group_id")));
            QCOMPARE(QDir(groupsDirectoryURL()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{name});
        }
    }

    // Deleting the group takes its tile and the program's files; the folder stays for the user's
    // things, told once.
    void deletingTheGroupKeepsTheUsersThings()
    {
        launch();
        for (int round = 0; round < rounds; ++round) {
            const AppGroup work = addGroup(QStringLiteral("Work %1").arg(round));
            QVERIFY(syncAll());
            const QString folder = folderOf(work);
            putUsersThings(folder);
            QVERIFY(m_program->deleteGroup(work.id));
            QVERIFY(store().groups().isEmpty());
            verifyKeptForTheUser(folder);
            QVERIFY(!DockService::isFolderInDock(QUrl::fromLocalFile(folder)));
            // The folder is the user's now: the sweeps after later syncs leave it alone and say nothing more.
            const AppGroup other = addGroup(QStringLiteral("Other"));
            QVERIFY(syncAll());
            QCOMPARE(folderTree(folder), usersThings);
            QVERIFY(store().takeFoldersKeptForUserFiles().isEmpty());
            QVERIFY(m_program->deleteGroup(other.id));
        }
        // A deleted group's folder that holds nothing of the user's goes whole.
        QCOMPARE(QDir(groupsDirectoryURL()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("Work 0"), QStringLiteral("Work 1"), QStringLiteral("Work 2")}));
    }

    // Reset Everything from the settings.
    void resetEverythingKeepsTheUsersThings()
    {
        launch();
        for (int round = 0; round < rounds; ++round) {
            UserDefaults::standard().setValue(QStringLiteral("didCompleteOnboarding"), true);
            const AppGroup work = addGroup(QStringLiteral("Work %1").arg(round));
            addGroup(QStringLiteral("Empty %1").arg(round));
            QVERIFY(syncAll());
            const QString folder = folderOf(work);
            putUsersThings(folder);
            QVERIFY(m_program->resetEverything());
            QVERIFY(store().groups().isEmpty());
            verifyKeptForTheUser(folder);
        }
    }

    // The other display deleted the group and left its folder (and tile) behind; the sweep at
    // the next start takes the tile and the program's files, and the window says where the user's
    // things stay.
    void theSweepAtStartKeepsTheUsersThings()
    {
        for (int round = 0; round < rounds; ++round) {
            launch();
            const AppGroup work = addGroup(QStringLiteral("Work %1").arg(round));
            QVERIFY(syncAll());
            const QString folder = folderOf(work);
            putUsersThings(folder);
            quit();
            {
                // The program on the other display.
                GroupManager other;
                other.ensureStorageDirectories();
                other.loadGroups();
                bool deleted = false;
                other.deleteGroup(work, true, [&deleted] { deleted = true; });
                QTRY_VERIFY_WITH_TIMEOUT(deleted, timeout);
                other.waitUntilSaved();
            }
            QVERIFY(DockService::isFolderInDock(QUrl::fromLocalFile(folder)));
            launch();
            QVERIFY(store().groups().isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(!DockService::isFolderInDock(QUrl::fromLocalFile(folder)), timeout);
            verifyKeptForTheUser(folder);
            quit();
        }
    }

    // A removal the program did not finish (it was killed, the power went) left entries aside
    // under dot names, which no folder view shows: the next start puts each back under its own
    // name, beside one that took the name meanwhile, and a name it never carried gets one.
    void whatACutShortRemovalSetAsideComesBackAtStart()
    {
        for (int round = 0; round < rounds; ++round) {
            launch();
            const AppGroup work = addGroup(QStringLiteral("Work %1").arg(round));
            QVERIFY(syncAll());
            const QString folder = folderOf(work);
            quit();
            const QString groups = groupsDirectoryURL();
            const QString dropped = appSupportDirectoryURL() + QStringLiteral("/Dropped Items");
            writeBytes(folder + QStringLiteral("/.removing-k3j9-Notes.txt"), "my notes");
            writeBytes(folder + QStringLiteral("/.removing-a1-Photos/beach.jpg"), "a picture");
            writeBytes(folder + QStringLiteral("/.removing-zz9"), "set aside without its name");
            writeBytes(groups + QStringLiteral("/.removing-q7-Old Work/Letter.txt"), "a letter");
            writeBytes(dropped + QStringLiteral("/.removing-b2-report.pdf"), "a report");
            writeBytes(dropped + QStringLiteral("/report.pdf"), "a newer report");

            launch();
            QCOMPARE(readBytes(folder + QStringLiteral("/Notes.txt")), QByteArray("my notes"));
            QCOMPARE(readBytes(folder + QStringLiteral("/Photos/beach.jpg")), QByteArray("a picture"));
            QCOMPARE(readBytes(folder + QStringLiteral("/Recovered item")), QByteArray("set aside without its name"));
            QCOMPARE(readBytes(groups + QStringLiteral("/Old Work/Letter.txt")), QByteArray("a letter"));
            QCOMPARE(readBytes(dropped + QStringLiteral("/report.pdf")), QByteArray("a newer report"));
            QCOMPARE(readBytes(dropped + QStringLiteral("/report 2.pdf")), QByteArray("a report"));
            for (const QString &place : {folder, groups, dropped}) {
                const QStringList hidden = QDir(place).entryList({QStringLiteral(".removing-*")}, QDir::AllEntries | QDir::Hidden | QDir::System);
                QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(u',')));
            }
            // The group's folder stays the group's, with the user's things in it, through the next sync.
            QVERIFY(syncAll());
            const QMap<QString, QByteArray> tree = folderTree(folderOf(work));
            QVERIFY2(holdsUsersThings(tree), qPrintable(describe(tree)));
            quit();
            QDir(appSupportDirectoryURL()).removeRecursively();
        }
    }

    // Many items of one file name (copies of one document, or the same one added again and
    // again) get their entries in time that grows with their number, not with its square.
    void manyItemsOfOneNameAreNamedInTimeProportionalToThem()
    {
        launch();
        const QString report = QDir::homePath() + QStringLiteral("/Letters/Report.pdf");
        writeBytes(report, "a report");
        QList<AppItem> items;
        for (int i = 0; i < manyItems; ++i)
            items.append(makeItem(QStringLiteral("file:") + report, QStringLiteral("Report.pdf"), report));
        AppGroup work = store().createGroup();
        work.name = QStringLiteral("Reports");
        work.apps = items;
        store().updateGroup(work);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(syncAll(manyItemsDeadline));
        qInfo("Sync All of %d items of one name: %lld ms", manyItems, clock.elapsed());
        const QString folder = folderOf(work);
        QCOMPARE(QFileInfo(folder + QStringLiteral("/Report.pdf")).symLinkTarget(), report);
        QCOMPARE(QFileInfo(folder + QStringLiteral("/Report %1.pdf").arg(manyItems)).symLinkTarget(), report);
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/Report %1.pdf").arg(manyItems + 1)));
    }

    // Groups of one name get their folders "Work", "Work 2", ... in one Sync All, and the next keeps
    // every folder where it is. The two times are written out for comparison (a test on a shared
    // machine cannot judge them: each trying every name the others took made it five times slower).
    void manyGroupsOfOneNameSyncAsFastAsGroupsOfManyNames()
    {
        const auto syncGroupsNamed = [this](const std::function<QString(int)> &name) -> qint64 {
            launch();
            QList<AppGroup> groups;
            for (int i = 0; i < manyGroups; ++i)
                groups.append(makeGroup(name(i), {makeItem(QStringLiteral("file:") + m_projects, QStringLiteral("Projects"), m_projects)}));
            store().setGroups(groups);
            store().saveGroups();
            QElapsedTimer clock;
            clock.start();
            return syncAll(manyItemsDeadline * 4) ? clock.elapsed() : -1;
        };
        const qint64 manyNames = syncGroupsNamed([](int i) { return QStringLiteral("Work %1").arg(i); });
        quit();
        QDir(appSupportDirectoryURL()).removeRecursively();
        QFile::remove(dockFilePath());
        const qint64 oneName = syncGroupsNamed([](int) { return QStringLiteral("Work"); });
        qInfo("Sync All of %d groups: %lld ms with as many names, %lld ms with one name", manyGroups, manyNames, oneName);
        QVERIFY(manyNames > 0 && oneName > 0);

        QStringList expected{QStringLiteral("Work")};
        for (int n = 2; n <= manyGroups; ++n)
            expected.append(QStringLiteral("Work %1").arg(n));
        QMap<QString, QString> folders;
        for (const AppGroup &group : store().groups())
            folders.insert(group.id.toString(), QFileInfo(folderOf(group)).fileName());
        QStringList names = folders.values();
        std::sort(names.begin(), names.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(names, expected);
        QVERIFY(syncAll(manyItemsDeadline));
        for (const AppGroup &group : store().groups())
            QCOMPARE(QFileInfo(folderOf(group)).fileName(), folders.value(group.id.toString()));
    }

    // The program killed at any moment of each action: at the next start every document and
    // folder the user put in a group's folder is there, under its own name, and nothing is left
    // hidden under a dot name.
    void aKillDuringAnActionLosesAndHidesNothing_data()
    {
        QTest::addColumn<QString>("action");
        for (const char *action : {"syncall", "rename", "delete", "reset", "sweep"})
            QTest::newRow(action) << QString::fromLatin1(action);
    }
    void aKillDuringAnActionLosesAndHidesNothing()
    {
        QFETCH(QString, action);
        for (int trial = 0; trial < killsPerAction; ++trial) {
            QDir(appSupportDirectoryURL()).removeRecursively();
            QFile::remove(dockFilePath());
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QStringLiteral(USERFILES_ACTOR_PATH), {action});
            QVERIFY(child.waitForStarted());
            QStringList placed;
            QByteArray said;
            const auto takeLines = [&] {
                said += child.readAllStandardOutput();
                for (qsizetype end = said.indexOf('\n'); end >= 0; end = said.indexOf('\n')) {
                    const QByteArray line = said.left(end);
                    said.remove(0, end + 1);
                    if (line.startsWith("placed "))
                        placed.append(QString::fromUtf8(line.mid(7)));
                }
            };
            // A few rounds in, so that kills land in later rounds too; then at a random moment.
            const qsizetype wanted = 2 * (1 + trial % 3);
            while (placed.size() < wanted && child.state() == QProcess::Running && child.waitForReadyRead(timeout))
                takeLines();
            QVERIFY2(placed.size() >= wanted, qPrintable(QStringLiteral("trial %1: the child placed nothing").arg(trial)));
            QThread::usleep(QRandomGenerator::global()->bounded(0, 150000));
            ::kill(pid_t(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished(timeout));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            takeLines();

            launch();
            const QMap<QString, QByteArray> tree = folderTree(appSupportDirectoryURL());
            for (const QString &name : std::as_const(placed)) {
                const QString round = name.section(u' ', 1).section(u'/', 0, 0).section(u'.', 0, 0);
                const QByteArray content = (name.startsWith(QStringLiteral("Notes")) ? "the user's notes " : "the user's picture ") + round.toUtf8();
                QStringList found;
                for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
                    if (it.key().endsWith(u'/' + name) && it.value() == content)
                        found.append(it.key());
                }
                QVERIFY2(found.size() == 1, qPrintable(QStringLiteral("%1, trial %2: %3 found at [%4]").arg(action).arg(trial).arg(name, found.join(u','))));
                for (const QString &part : found.first().split(u'/'))
                    QVERIFY2(!part.startsWith(u'.'), qPrintable(QStringLiteral("%1, trial %2: %3 hidden").arg(action).arg(trial).arg(found.first())));
            }
            for (auto it = tree.cbegin(); it != tree.cend(); ++it)
                QVERIFY2(!it.key().split(u'/').last().startsWith(QStringLiteral(".removing-")), qPrintable(it.key()));
            ++m_kills;
            quit();
        }
    }

    void cleanupTestCase() { qInfo("%d kills, each followed by a start that found everything", m_kills); }
};

KESTROWAN_TEST_MAIN(TestUserFiles)
#include "tst_userfiles.moc"
