#include "Kestrowan/app/MainViewPages.h"

#include "Kestrowan/editor/GroupEditorFactory.h"
#include "Kestrowan/mainwindow/AddToGroupMenu.h"
#include "Kestrowan/mainwindow/AppPickerView.h"
#include "Kestrowan/mainwindow/DockAppPickerView.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "Kestrowan/mainwindow/SettingsPanel.h"
#include "Kestrowan/onboarding/OnboardingFactory.h"

#include <QDialog>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

// A picker as a sheet over the editor; `closed` hears once, with the list after Done, or nothing
// after Cancel (or Escape).
void presentPicker(QWidget *parent, StagedPicker *picker,
                   const std::function<void(const std::optional<QList<AppItem>> &)> &closed)
{
    auto *sheet = new QDialog(parent ? parent->window() : nullptr);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    // The editor's picker sheets are at least 400 by 500 points.
    sheet->setMinimumSize(400, 500);
    sheet->resize(400, 500);
    auto *layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(picker);
    auto answered = std::make_shared<bool>(false);
    auto answer = [closed, answered](const std::optional<QList<AppItem>> &apps) {
        if (std::exchange(*answered, true))
            return;
        if (closed)
            closed(apps);
    };
    QObject::connect(picker, &StagedPicker::committed, sheet, [sheet, answer](const QList<AppItem> &apps) {
        answer(apps);
        sheet->accept();
    });
    QObject::connect(picker, &StagedPicker::cancelled, sheet, &QDialog::reject);
    QObject::connect(sheet, &QDialog::rejected, sheet, [answer] { answer(std::nullopt); });
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *done = new QShortcut(QKeySequence(key), sheet);
        QObject::connect(done, &QShortcut::activated, picker, &StagedPicker::commitSelection);
    }
    sheet->open();
}

} // namespace

void installMainViewPages(const AppEnvironment &environment)
{
    MainViewFactories &factories = MainViewFactories::shared();

    GroupEditorServices editor = groupEditorServices(environment);
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

    factories.onboarding = [environment](MainViewFactories::Action onFinish, MainViewFactories::Action onSkip) {
        return makeOnboardingView(environment, std::move(onFinish), std::move(onSkip));
    };
    factories.settings = [environment](MainViewFactories::Action onBack) {
        return new SettingsPanel(environment, std::move(onBack));
    };
    factories.addToGroupMenu = [](const AddToGroupMenuActions &actions) {
        return new AddToGroupMenu(actions.onDockApps, actions.onApps, actions.onFiles, actions.onFolders);
    };
}
