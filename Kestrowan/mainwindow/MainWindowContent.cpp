#include "Kestrowan/mainwindow/MainWindowContent.h"

#include "Kestrowan/editor/GroupEditorFactory.h"
#include "Kestrowan/mainwindow/AppPickerView.h"
#include "Kestrowan/mainwindow/DockAppPickerView.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "Kestrowan/mainwindow/PickerSheet.h"

namespace {

// The editor opens the same two pickers as the cards, larger, over its own page.
constexpr QSize editorPickerSize(400, 500);

GroupEditorServices::PickerPresenter installedAppsPresenter(InstalledAppsServiceInterface *appsService)
{
    return [appsService](QWidget *parent, const QList<AppItem> &selected, auto closed) {
        openPickerSheet(parent, new AppPickerView(*appsService, selected), editorPickerSize, true, std::move(closed));
    };
}

GroupEditorServices::PickerPresenter dockAppsPresenter()
{
    return [](QWidget *parent, const QList<AppItem> &selected, auto closed) {
        openPickerSheet(parent, new DockAppPickerView(selected), editorPickerSize, true, std::move(closed));
    };
}

} // namespace

QWidget *makeMainWindowContent(const AppEnvironment &environment, QWidget *parent)
{
    // The editor page works on this environment's services, unless whoever wires the program has
    // given a page of its own.
    MainViewFactories factories = MainViewFactories::shared();
    if (!factories.groupEditor) {
        GroupEditorServices services = groupEditorServices(environment);
        services.installedAppPicker = installedAppsPresenter(environment.appsService);
        services.dockAppPicker = dockAppsPresenter();
        factories.groupEditor = [services](const AppGroup &group, bool isNewDraft, MainViewFactories::Action onBack) {
            return makeGroupEditorPage(services, group, isNewDraft, std::move(onBack));
        };
    }
    return new MainView(*environment.groupManager, *environment.appsService, *environment.navigation,
                        environment.skinManager, parent, std::move(factories));
}
