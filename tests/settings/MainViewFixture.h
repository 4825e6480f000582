#pragma once

#include "tests/app/FakeShellServices.h"
#include "tests/mainwindow/MainWindowTestSupport.h"

#include "Kestrowan/shell/AppUpdater.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/shell/AppNavigation.h"

#include <QString>

#include <memory>

// The main window over the services the program gives it: a store started over a stand-in program
// file, navigation, the permission manager, the updater and the installed applications.
class MainViewFixture {
public:
    // Once per test process: the program file the mirror folders link to, activation that is only
    // recorded, and the light look.
    void prepare();
    // Before each test, once the defaults are set: the Dock's sync unblocked, tools that succeed,
    // and every service made anew.
    void start();
    // The main window over these services, shown at its usual size.
    std::unique_ptr<MainView> makeView();

    QString program;
    ShellJournal journal;
    std::unique_ptr<GroupManager> store;
    std::unique_ptr<AppNavigation> navigation;
    std::unique_ptr<JournalPermissionManager> permission;
    std::unique_ptr<AppUpdater> updater;
    FakeInstalledApps apps;
};
