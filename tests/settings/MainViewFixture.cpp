#include "tests/settings/MainViewFixture.h"

#include "Kestrowan/app/MainViewPages.h"
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/shell/AppEnvironment.h"
#include "Platform/fake/FakeApplicationActivation.h"
#include "tests/store/StoreTestSupport.h"

#include <QDir>

void MainViewFixture::prepare()
{
    program = QDir::homePath() + QStringLiteral("/Applications/Kestrowan");
    writeBytes(program, "#!/bin/sh\n");
    ApplicationActivation::install(std::make_unique<FakeApplicationActivation>());
    applyLook(false);
}

void MainViewFixture::start()
{
    DockService::clearSyncBlock();
    installSucceedingProcessRunner();
    store = startedManager(program);
    navigation = std::make_unique<AppNavigation>();
    permission = std::make_unique<JournalPermissionManager>(journal);
    updater = std::make_unique<AppUpdater>(AppUpdateConfiguration::fromInfoDictionary({}));
}

std::unique_ptr<MainView> MainViewFixture::makeView()
{
    AppEnvironment environment;
    environment.groupManager = store.get();
    environment.navigation = navigation.get();
    environment.permissionManager = permission.get();
    environment.appUpdater = updater.get();
    environment.appsService = &apps;
    installMainViewPages(environment);
    auto view = std::make_unique<MainView>(*store, apps, *navigation, nullptr);
    view->resize(620, 540);
    view->show();
    return view;
}
