// The editor as the main window gets it: the page for a group, and the installed-applications
// picker as the page's sheet, its choice stored in "groups.json".
#include "Kestrowan/app/MainViewPages.h"
#include "Kestrowan/editor/EditorActionButton.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorItemSection.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/AppPickerView.h"
#include "Kestrowan/mainwindow/InstalledAppsServiceInterface.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "tests/editorpage/EditorPageSupport.h"
#include "tests/support/TestMain.h"

#include <QDialog>

namespace {

class TwoApps final : public InstalledAppsServiceInterface {
public:
    QList<AppItem> apps{appItem(QStringLiteral("org.example.Mail"), QStringLiteral("Mail")),
                        appItem(QStringLiteral("org.example.Notes"), QStringLiteral("Notes"))};
    QList<AppItem> installedApps() const override { return apps; }
    bool isScanning() const override { return false; }
    QString cacheURL() const override { return {}; }
    void refreshInstalledApps() override {}
};

} // namespace

class TestEditorWiring : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useSourceResources(); }

    void thePickerSheetFillsTheGroup()
    {
        QTemporaryDir dir;
        auto store = makeEditorStore(dir);
        TwoApps apps;
        AppEnvironment environment;
        environment.groupManager = store.get();
        environment.appsService = &apps;
        installMainViewPages(environment);
        QVERIFY(MainViewFactories::shared().groupEditor);

        AppGroup group = store->createGroup();
        int backs = 0;
        std::unique_ptr<QWidget> widget(MainViewFactories::shared().groupEditor(group, false, [&backs] { ++backs; }));
        auto *page = qobject_cast<GroupEditorPage *>(widget.get());
        QVERIFY(page);
        page->resize(620, 540);
        page->show();
        page->itemSection()->emptyStateButtons().at(1)->click();
        AppPickerView *picker = page->findChild<AppPickerView *>();
        QVERIFY(picker);
        auto *sheet = qobject_cast<QDialog *>(picker->parentWidget());
        QVERIFY(sheet && sheet->width() >= 400 && sheet->height() >= 500);
        picker->toggleStagedApp(apps.apps.at(1));
        picker->commitSelection();
        QTRY_COMPARE_WITH_TIMEOUT(page->draft()->draft().apps.size(), 1, 10000);
        QCOMPARE(storedGroups(*store).first().apps.first().bundleIdentifier, QStringLiteral("org.example.Notes"));
        MainViewFactories::shared().groupEditor = nullptr;
        widget.reset();
        store.reset();
    }
};

KESTROWAN_TEST_MAIN(TestEditorWiring)
#include "tst_editorwiring.moc"
