#include "Kestrowan/app/GroupEditorWiring.h"

#include "Kestrowan/editor/GroupEditorFactory.h"
#include "Kestrowan/mainwindow/AppPickerView.h"
#include "Kestrowan/mainwindow/DockAppPickerView.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"

#include <QDialog>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

// The editor's picker sheets are at least 400 by 500 points.
constexpr QSize sheetSize(400, 500);

using Closed = std::function<void(const std::optional<QList<AppItem>> &)>;

// Shows `picker` as a window-modal sheet over `parent`; `closed` hears how it ended, once.
void presentPickerSheet(QWidget *parent, StagedPicker *picker, Closed closed)
{
    auto *sheet = new QDialog(parent);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setMinimumSize(sheetSize);
    sheet->resize(sheetSize);
    auto *layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(picker);
    auto result = std::make_shared<std::optional<QList<AppItem>>>();
    QObject::connect(picker, &StagedPicker::committed, sheet, [sheet, result](const QList<AppItem> &apps) {
        *result = apps;
        sheet->accept();
    });
    QObject::connect(picker, &StagedPicker::cancelled, sheet, &QDialog::reject);
    QObject::connect(sheet, &QDialog::finished, sheet, [result, closed] { closed(*result); });
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *done = new QShortcut(QKeySequence(key), sheet);
        QObject::connect(done, &QShortcut::activated, picker, &StagedPicker::commitSelection);
    }
    sheet->open();
}

} // namespace

void installGroupEditorPage(const AppEnvironment &environment)
{
    GroupEditorServices services = groupEditorServices(environment);
    InstalledAppsServiceInterface *apps = environment.appsService;
    services.installedAppPicker = [apps](QWidget *parent, const QList<AppItem> &selected, Closed closed) {
        if (apps)
            presentPickerSheet(parent, new AppPickerView(*apps, selected), std::move(closed));
    };
    services.dockAppPicker = [](QWidget *parent, const QList<AppItem> &selected, Closed closed) {
        presentPickerSheet(parent, new DockAppPickerView(selected), std::move(closed));
    };
    MainViewFactories::shared().groupEditor = [services](const AppGroup &group, bool isNewDraft, MainViewFactories::Action onBack) {
        return makeGroupEditorPage(services, group, isNewDraft, std::move(onBack));
    };
}
