#pragma once

// The program as a launch builds it, with its main window on the offscreen platform, and the
// user's actions on groups through that window: Sync All, a rename in the editor followed by
// Update Dock, deleting a group, Reset Everything. Each action returns once it ended (or its
// deadline passed), saying whether it went well.
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
#include "tests/store/StoreTestSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

class WindowedProgram {
public:
    explicit WindowedProgram(int deadline)
        : m_deadline(deadline)
        , m_projects(makeFolder(QDir::homePath() + QStringLiteral("/Projects")))
    {
    }
    ~WindowedProgram() { quit(); }

    // Starts the program: its window and the runtime's start, the sweep of folders included.
    bool launch()
    {
        m_journal = std::make_unique<ShellJournal>();
        m_app = std::make_unique<KestrowanApp>(journalFactories(*m_journal));
        m_app->launch();
        return QTest::qWaitFor([this] { return m_app->mainWindow() && view() && m_app->didBootstrapRuntime(); }, m_deadline);
    }

    void quit()
    {
        m_app.reset();
        for (QWidget *window : QApplication::topLevelWidgets())
            delete window;
    }

    KestrowanApp &app() const { return *m_app; }
    MainView *view() const { return m_app->mainWindow()->findChild<MainView *>(); }
    GroupManager &store() const { return m_app->groupManager(); }
    QString projects() const { return m_projects; }

    // A group holding the folder "Projects".
    AppGroup addGroup(const QString &name)
    {
        AppGroup group = store().createGroup();
        group.name = name;
        group.apps = {makeItem(QStringLiteral("file:") + m_projects, QStringLiteral("Projects"), m_projects)};
        store().updateGroup(group);
        return group;
    }

    QString folderOf(const AppGroup &group) const
    {
        const std::optional<QUrl> folder = store().findMirrorFolder(group);
        return folder ? QDir::cleanPath(folder->toLocalFile()) : QString();
    }

    // The toolbar's Sync All.
    bool syncAll(int deadline = 0)
    {
        QSignalSpy finished(&view()->actions(), &MainWindowActions::syncAllFinished);
        view()->gridPage()->syncAllButton()->click();
        return finished.wait(deadline > 0 ? deadline : m_deadline) && finished.first().first().toBool();
    }

    // The group's page: its name typed anew, then Update Dock; `buttonText` gets what the button said.
    bool renameAndUpdateDock(const QUuid &groupID, const QString &name, QString *buttonText = nullptr)
    {
        m_app->navigation().setSelectedPage(DetailPage::group(groupID));
        GroupEditorPage *editor = nullptr;
        if (!QTest::qWaitFor([&] { return (editor = qobject_cast<GroupEditorPage *>(view()->shownPage())) != nullptr; }, m_deadline))
            return false;
        editor->nameField()->setFocus();
        editor->nameField()->selectAll();
        QTest::keyClicks(editor->nameField(), name);
        auto *bar = editor->findChild<DockSyncBar *>();
        if (!bar || !QTest::qWaitFor([&] { return bar->syncButton()->isVisible(); }, m_deadline))
            return false;
        if (buttonText)
            *buttonText = bar->syncButton()->text();
        bar->syncButton()->click();
        const auto synced = [&] {
            const auto group = std::find_if(store().groups().cbegin(), store().groups().cend(),
                                            [&](const AppGroup &stored) { return stored.id == groupID; });
            return group != store().groups().cend() && group->name == name && store().isGroupSyncedToDock(*group);
        };
        return QTest::qWaitFor(synced, m_deadline);
    }

    // Delete from the group's menu, and the confirmation's Delete.
    bool deleteGroup(const QUuid &groupID)
    {
        view()->requestDeleteGroup(groupID);
        if (!view()->deleteConfirmation())
            return false;
        view()->deleteConfirmation()->confirmButton()->click();
        return QTest::qWaitFor([&] {
            return std::none_of(store().groups().cbegin(), store().groups().cend(), [&](const AppGroup &group) { return group.id == groupID; });
        }, m_deadline);
    }

    // The settings' Reset Everything and its confirmation; back to the grid after it.
    bool resetEverything()
    {
        m_app->navigation().setSelectedPage(DetailPage::settings());
        SettingsPanel *panel = nullptr;
        if (!QTest::qWaitFor([&] { return (panel = view()->findChild<SettingsPanel *>()) && panel->isVisible(); }, m_deadline))
            return false;
        auto *resetButton = panel->findChild<QAbstractButton *>(QStringLiteral("resetAll"));
        if (!resetButton)
            return false;
        resetButton->click();
        if (!QTest::qWaitFor([&] { return panel->confirmation() != nullptr; }, m_deadline))
            return false;
        QSignalSpy finished(&panel->model().reset(), &SettingsReset::finished);
        panel->confirmation()->findChild<QAbstractButton *>(QStringLiteral("confirm"))->click();
        const bool ended = finished.wait(m_deadline);
        m_app->navigation().setSelectedPage(std::nullopt);
        return ended;
    }

private:
    int m_deadline;
    QString m_projects;
    std::unique_ptr<ShellJournal> m_journal;
    std::unique_ptr<KestrowanApp> m_app;
};
