// The program in a child process, doing one action of the user's over and over on a group's folder
// that holds the user's own files, until it is killed. Argument: the action ("syncall", "rename",
// "delete", "reset", "sweep"). Before each action it puts a new document and a new folder of the
// user's into the group's folder and prints "placed <name>" for each, so that the killer knows
// what must survive wherever the kill lands.
#include "WindowedProgram.h"

#include "Platform/fake/FakeApplicationActivation.h"
#include "Platform/fake/FakeStatusItem.h"
#include "Platform/fake/FakeSystemAppearance.h"
#include "Platform/fake/FakeUserDefaults.h"

#include <cstdio>

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

    // A document and a folder of the user's, each named for this round.
    void place(const QString &folder)
    {
        require(!folder.isEmpty(), "the group has no folder");
        const QString document = QStringLiteral("Notes %1.txt").arg(m_round);
        const QString photos = QStringLiteral("Photos %1").arg(m_round);
        writeBytes(folder + u'/' + document, "the user's notes " + QByteArray::number(m_round));
        writeBytes(folder + u'/' + photos + QStringLiteral("/beach.jpg"), "the user's picture " + QByteArray::number(m_round));
        std::printf("placed %s\nplaced %s/beach.jpg\n", qUtf8Printable(document), qUtf8Printable(photos));
        std::fflush(stdout);
        ++m_round;
    }

    void run(const QString &action)
    {
        launch();
        if (action == QStringLiteral("syncall") || action == QStringLiteral("rename")) {
            const AppGroup work = m_program.addGroup(QStringLiteral("Work"));
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
            const AppGroup work = m_program.addGroup(QStringLiteral("Work"));
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
    Actor().run(QString::fromLocal8Bit(argv[1]));
}
