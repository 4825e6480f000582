// The program in a child process, doing one action of the user's over and over on a group's folder
// that holds the user's own files, until it is killed. Argument: the action ("syncall", "rename",
// "delete", "reset", "sweep"). Before each action it puts a new document and a new folder of the
// user's into the group's folder and prints "placed <name>" for each, so that the killer knows
// what must survive wherever the kill lands.
#include "FakeShellServices.h"

#include "Kestrowan/app/KestrowanApp.h"
#include "Kestrowan/app/MainWindowFrame.h"
#include "Kestrowan/editor/DockBarButton.h"
#include "Kestrowan/editor/DockSyncBar.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/GroupGridPage.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/mainwindow/MainWindowActions.h"
#include "Kestrowan/mainwindow/SettingsModel.h"
#include "Kestrowan/mainwindow/SettingsPanel.h"
#include "Kestrowan/mainwindow/SettingsReset.h"
#include "Kestrowan/mainwindow/ToolbarButton.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/ConfirmationAlert.h"
#include "Kestrowan/shell/DetailPage.h"
#include "Platform/fake/FakeApplicationActivation.h"
#include "Platform/fake/FakeStatusItem.h"
#include "Platform/fake/FakeSystemAppearance.h"
#include "Platform/fake/FakeUserDefaults.h"
#include "tests/store/StoreTestSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

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
    Actor()
        : m_projects(makeFolder(QDir::homePath() + QStringLiteral("/Projects")))
    {
    }

    void launch()
    {
        m_journal = std::make_unique<ShellJournal>();
        m_app = std::make_unique<KestrowanApp>(journalFactories(*m_journal));
        m_app->launch();
        require(QTest::qWaitFor([this] { return m_app->mainWindow() && view() && m_app->didBootstrapRuntime(); }, deadline),
                "the window did not come");
    }

    void quit()
    {
        m_app.reset();
        for (QWidget *window : QApplication::topLevelWidgets())
            delete window;
    }

    MainView *view() const { return m_app->mainWindow()->findChild<MainView *>(); }
    GroupManager &store() const { return m_app->groupManager(); }

    AppGroup addGroup(const QString &name)
    {
        AppGroup group = store().createGroup();
        group.name = name;
        group.apps = {makeItem(QStringLiteral("file:") + m_projects, QStringLiteral("Projects"), m_projects)};
        store().updateGroup(group);
        return group;
    }

    void syncAll()
    {
        QSignalSpy finished(&view()->actions(), &MainWindowActions::syncAllFinished);
        view()->gridPage()->syncAllButton()->click();
        require(finished.wait(deadline), "Sync All did not end");
    }

    QString folderOf(const AppGroup &group) const
    {
        const std::optional<QUrl> folder = store().findMirrorFolder(group);
        require(folder.has_value(), "the group has no folder");
        return QDir::cleanPath(folder->toLocalFile());
    }

    // A document and a folder of the user's, each named for this round.
    void place(const QString &folder)
    {
        const QString document = QStringLiteral("Notes %1.txt").arg(m_round);
        const QString photos = QStringLiteral("Photos %1").arg(m_round);
        writeBytes(folder + u'/' + document, "the user's notes " + QByteArray::number(m_round));
        writeBytes(folder + u'/' + photos + QStringLiteral("/beach.jpg"), "the user's picture " + QByteArray::number(m_round));
        std::printf("placed %s\nplaced %s/beach.jpg\n", qUtf8Printable(document), qUtf8Printable(photos));
        std::fflush(stdout);
        ++m_round;
    }

    void deleteThroughTheWindow(const AppGroup &group)
    {
        view()->requestDeleteGroup(group.id);
        require(view()->deleteConfirmation(), "no confirmation");
        view()->deleteConfirmation()->confirmButton()->click();
        require(QTest::qWaitFor([&] { return store().groups().isEmpty(); }, deadline), "the group was not deleted");
    }

    void resetThroughTheSettings()
    {
        m_app->navigation().setSelectedPage(DetailPage::settings());
        SettingsPanel *panel = nullptr;
        require(QTest::qWaitFor([&] { return (panel = view()->findChild<SettingsPanel *>()) && panel->isVisible(); }, deadline),
                "no settings");
        panel->findChild<QAbstractButton *>(QStringLiteral("resetAll"))->click();
        require(QTest::qWaitFor([&] { return panel->confirmation() != nullptr; }, deadline), "no confirmation");
        QSignalSpy finished(&panel->model().reset(), &SettingsReset::finished);
        panel->confirmation()->findChild<QAbstractButton *>(QStringLiteral("confirm"))->click();
        require(finished.wait(deadline), "the reset did not end");
        m_app->navigation().setSelectedPage(std::nullopt);
        UserDefaults::standard().setValue(QStringLiteral("didCompleteOnboarding"), true);
    }

    void renameThroughTheEditor(const AppGroup &group)
    {
        m_app->navigation().setSelectedPage(DetailPage::group(group.id));
        GroupEditorPage *editor = nullptr;
        require(QTest::qWaitFor([&] { return (editor = qobject_cast<GroupEditorPage *>(view()->shownPage())) != nullptr; }, deadline),
                "no editor");
        editor->nameField()->selectAll();
        QTest::keyClicks(editor->nameField(), QStringLiteral("Work %1").arg(m_round));
        auto *bar = editor->findChild<DockSyncBar *>();
        require(bar && QTest::qWaitFor([&] { return bar->syncButton()->isVisible(); }, deadline), "no Update Dock");
        bar->syncButton()->click();
        require(QTest::qWaitFor([&] { return store().isGroupSyncedToDock(store().groups().first()); }, deadline), "not synced");
    }

    void run(const QString &action)
    {
        launch();
        if (action == QStringLiteral("syncall") || action == QStringLiteral("rename")) {
            const AppGroup work = addGroup(QStringLiteral("Work"));
            syncAll();
            for (;;) {
                place(folderOf(store().groups().first()));
                if (action == QStringLiteral("syncall"))
                    syncAll();
                else
                    renameThroughTheEditor(work);
            }
        }
        for (;;) {
            const AppGroup work = addGroup(QStringLiteral("Work"));
            syncAll();
            place(folderOf(work));
            if (action == QStringLiteral("delete")) {
                deleteThroughTheWindow(work);
            } else if (action == QStringLiteral("reset")) {
                resetThroughTheSettings();
            } else if (action == QStringLiteral("sweep")) {
                quit();
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
    QString m_projects;
    std::unique_ptr<ShellJournal> m_journal;
    std::unique_ptr<KestrowanApp> m_app;
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
