#include "Kestrowan/app/MainViewPages.h"

#include "Kestrowan/dock/KeyboardShortcutService.h"
#include "Kestrowan/editor/GroupEditorFactory.h"
#include "Kestrowan/editor/KeyboardShortcutStore.h"
#include "Kestrowan/mainwindow/AddToGroupMenu.h"
#include "Kestrowan/mainwindow/AppPickerView.h"
#include "Kestrowan/mainwindow/DockAppPickerView.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "Kestrowan/mainwindow/PickerSheet.h"
#include "Kestrowan/mainwindow/SettingsPanel.h"
#include "Kestrowan/onboarding/OnboardingCompletion.h"
#include "Kestrowan/onboarding/OnboardingFactory.h"

#include <QPointer>

namespace {

// The editor opens the same two pickers as the cards, larger, over its own page.
constexpr QSize editorPickerSize(400, 500);

void presentPicker(QWidget *parent, StagedPicker *picker,
                   const std::function<void(const std::optional<QList<AppItem>> &)> &closed)
{
    openPickerSheet(parent ? parent->window() : nullptr, picker, editorPickerSize, true, closed);
}

} // namespace

void installMainViewPages(const AppEnvironment &environment, OnboardingCompletion *onboardingCompletion)
{
    MainViewFactories &factories = MainViewFactories::shared();

    GroupEditorServices editor = groupEditorServices(environment);
    editor.keyTranslator = ShortcutRecorder::platformKeyTranslator();
    if (auto *service = dynamic_cast<KeyboardShortcutService *>(environment.keyboardShortcutService))
        editor.shortcutStore = new KeyboardShortcutStore(service, service);
    if (InstalledAppsServiceInterface *apps = environment.appsService) {
        editor.installedAppPicker = [apps](QWidget *parent, const QList<AppItem> &selected, auto closed) {
            presentPicker(parent, new AppPickerView(*apps, selected), closed);
        };
    }
    editor.dockAppPicker = [](QWidget *parent, const QList<AppItem> &selected, auto closed) {
        presentPicker(parent, new DockAppPickerView(selected), closed);
    };
    factories.groupEditor = [editor](const AppGroup &group, bool isNewDraft, MainViewFactories::Action onBack) {
        return makeGroupEditorPage(editor, group, isNewDraft, std::move(onBack));
    };

    factories.onboarding = [environment, completion = QPointer<OnboardingCompletion>(onboardingCompletion)](
                               MainViewFactories::Action onFinish, MainViewFactories::Action onSkip) {
        return makeOnboardingView(environment, completion, std::move(onFinish), std::move(onSkip));
    };
    factories.settings = [environment](MainViewFactories::Action onBack) {
        return new SettingsPanel(environment, std::move(onBack));
    };
    factories.addToGroupMenu = [](const AddToGroupMenuActions &actions) {
        return new AddToGroupMenu(actions.onDockApps, actions.onApps, actions.onFiles, actions.onFolders);
    };
}
