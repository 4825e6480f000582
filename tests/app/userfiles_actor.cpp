// The program in a child process, doing one action of the user's over and over on a group's folder
// that holds the user's own files, until it is killed. Argument: the action ("syncall", "rename",
// "delete", "reset", "sweep"). Before each action it puts a new document, a folder, a link and a
// saved web link of the user's into the group's folder and prints "placed <name> <hex of what it
// holds>" for each, so that the killer knows what must survive wherever the kill lands.
//
// With the second argument "named", it writes as on a file system without unnamed files (network
// homes), its groups hold a web link too, and from the second round on it stops at the first
// temporary file of a web link it names, printing "temporary <path>": the killer kills it there.
#include "WindowedProgram.h"

#include "Platform/fake/FakeApplicationActivation.h"
#include "Platform/fake/FakeStatusItem.h"
#include "Platform/fake/FakeSystemAppearance.h"
#include "Platform/fake/FakeUserDefaults.h"

#include "Kestrowan/groups/MirrorFolders.h"
#include "Platform/safewrite/SafeWrite.h"

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int deadline = 60000;

[[noreturn]] void giveUp(const char *why)
{
    std::fprintf(stderr, "userfiles_actor: %s\n", why);
    std::exit(3);
}

void require(bool condition, const char *why)
{
    if (!condition)
        giveUp(why);
}

class Actor {
public:
    void launch() { require(m_program.launch(), "the window did not come"); }

    // A document, a folder, a link and a saved web link of the user's, each named for this round.
    void place(const QString &folder)
    {
        require(!folder.isEmpty(), "the group has no folder");
        const QByteArray round = QByteArray::number(m_round);
        const QString document = QStringLiteral("Notes %1.txt").arg(m_round);
        const QString photos = QStringLiteral("Photos %1/beach.jpg").arg(m_round);
        const QString link = QStringLiteral("Link %1").arg(m_round);
        const QString webLink = QStringLiteral("Saved %1.webloc").arg(m_round);
        const QString letter = QDir::homePath() + QStringLiteral("/Letters/Letter ") + QString::fromLatin1(round) + QStringLiteral(".txt");
        const QByteArray saved = MirrorFolders::weblocBytes(QUrl(QStringLiteral("https://news.example/") + QString::fromLatin1(round)));
        writeBytes(letter, "a letter");
        writeBytes(folder + u'/' + document, "the user's notes " + round);
        writeBytes(folder + u'/' + photos, "the user's picture " + round);
        require(QFile::link(letter, folder + u'/' + link), "the user's link was not made");
        writeBytes(folder + u'/' + webLink, saved);
        const auto tell = [](const QString &name, const QByteArray &holds) {
            std::printf("placed %s %s\n", qUtf8Printable(name), holds.toHex().constData());
        };
        tell(document, "the user's notes " + round);
        tell(photos, "the user's picture " + round);
        tell(link, letter.toUtf8());
        tell(webLink, saved);
        std::fflush(stdout);
        ++m_round;
    }

    // Writes as a file system without unnamed files makes it, and stops at a web link's temporary
    // file once the user's things are in.
    void stopAtATemporary()
    {
        SafeWrite::refuseUnnamedFiles(true);
        SafeWrite::watchNamedTemporaries([this](const QString &path) {
            if (m_round < 1 || !path.contains(QStringLiteral(".webloc.")))
                return;
            std::printf("temporary %s\n", qUtf8Printable(path));
            std::fflush(stdout);
            for (;;)
                ::pause();
        });
        m_webLinks = true;
    }

    AppGroup addGroup()
    {
        AppGroup work = m_program.addGroup(QStringLiteral("Work"));
        if (m_webLinks) {
            work.apps.append(makeItem(QStringLiteral("url:https://kestrowan.example/docs"), QStringLiteral("Docs"),
                                      QStringLiteral("https://kestrowan.example/docs")));
            m_program.store().updateGroup(work);
        }
        return work;
    }

    void run(const QString &action)
    {
        launch();
        if (action == QStringLiteral("syncall") || action == QStringLiteral("rename")) {
            const AppGroup work = addGroup();
            require(m_program.syncAll(), "Sync All failed");
            for (;;) {
                place(m_program.folderOf(m_program.store().groups().first()));
                if (action == QStringLiteral("syncall"))
                    require(m_program.syncAll(), "Sync All failed");
                else
                    require(m_program.renameAndUpdateDock(work.id, QStringLiteral("Work %1").arg(m_round)), "the rename was not synced");
            }
        }
        for (;;) {
            const AppGroup work = addGroup();
            require(m_program.syncAll(), "Sync All failed");
            place(m_program.folderOf(work));
            if (action == QStringLiteral("delete")) {
                require(m_program.deleteGroup(work.id), "the group was not deleted");
            } else if (action == QStringLiteral("reset")) {
                require(m_program.resetEverything(), "the reset did not end");
                UserDefaults::standard().setValue(QStringLiteral("didCompleteOnboarding"), true);
            } else if (action == QStringLiteral("sweep")) {
                m_program.quit();
                {
                    // The program on the other display deletes the group and leaves its folder.
                    GroupManager other;
                    other.ensureStorageDirectories();
                    other.loadGroups();
                    bool deleted = false;
                    other.deleteGroup(work, true, [&deleted] { deleted = true; });
                    require(QTest::qWaitFor([&] { return deleted; }, deadline), "the other display did not delete");
                    other.waitUntilSaved();
                }
                launch(); // the sweep at start
            } else {
                giveUp("no such action");
            }
        }
    }

private:
    WindowedProgram m_program{deadline};
    int m_round = 0;
    bool m_webLinks = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc < 2)
        return 2;
    UserDefaults::installFactory([](const QString &) { return std::make_unique<FakeUserDefaults>(); });
    ApplicationActivation::install(std::make_unique<FakeApplicationActivation>());
    SystemAppearance::install(std::make_unique<FakeSystemAppearance>());
    StatusItem::installFactory([] { return std::make_unique<FakeStatusItem>(); });
    installSucceedingProcessRunner();
    UserDefaults::standard().setValue(QStringLiteral("didCompleteOnboarding"), true);
    Actor actor;
    if (argc > 2 && QByteArray(argv[2]) == "named")
        actor.stopAtATemporary();
    actor.run(QString::fromLocal8Bit(argv[1]));
}
