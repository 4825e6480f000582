// The editor as the main window gets it: the page for a group, the installed-applications picker
// as the page's sheet, its choice stored in "groups.json", and the page beside the popup of the
// same group.
#include "Kestrowan/app/MainViewPages.h"
#include "Kestrowan/dock/HoverService.h"
#include "Kestrowan/dock/PermissionManager.h"
#include "Kestrowan/editor/EditorActionButton.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorItemSection.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/AppPickerView.h"
#include "Kestrowan/mainwindow/InstalledAppsServiceInterface.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupHeader.h"
#include "Kestrowan/popup/PopupControllerPresenter.h"
#include "Kestrowan/editor/DockBarButton.h"
#include "Kestrowan/editor/DockSyncBar.h"
#include "Platform/fake/FakeDockPlatform.h"
#include "Platform/fake/FakeDockRestarter.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "tests/editorpage/EditorPageSupport.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QDir>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>

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

// The editor's pages installed over `store`, and its group "Work" of one file.
AppGroup workGroupWithPages(GroupManager &store)
{
    AppEnvironment environment;
    environment.groupManager = &store;
    installMainViewPages(environment);
    AppGroup group = store.createGroup();
    group.name = QStringLiteral("Work");
    group.apps = {fileItem(QStringLiteral("/etc/hosts"), QStringLiteral("hosts"))};
    store.updateGroup(group);
    return group;
}

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

    // Mend: a group renamed in its popup while its editor is open shows the new name in the editor,
    // and the editor's next change keeps it.
    void anOpenEditorFollowsARenameInThePopup()
    {
        FakeDockPlatform platform;
        QTemporaryDir dir;
        auto store = makeEditorStore(dir);
        AppGroup group = workGroupWithPages(*store);
        std::unique_ptr<QWidget> widget(MainViewFactories::shared().groupEditor(group, false, [] {}));
        auto *page = qobject_cast<GroupEditorPage *>(widget.get());
        QVERIFY(page);
        page->resize(620, 540);
        page->show();

        PermissionManager permission;
        HoverService hover(store.get(), &permission, nullptr, nullptr, makePopupPresenter());
        hover.showPopupForGroup(group, QRectF(660, 820, 60, 60));
        InteractivePopupPanel *panel = nullptr;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *candidate = qobject_cast<InteractivePopupPanel *>(window); candidate && candidate->isVisible())
                panel = candidate;
        }
        QVERIFY(panel);
        PopupHeader *header = panel->findChild<PopupHeader *>();
        QVERIFY(header);
        QTest::mouseDClick(header->title(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(header->renameField()->isVisible(), 10000);
        header->renameField()->selectAll();
        QTest::keyClicks(header->renameField(), QStringLiteral("Deep Work"));
        // Escape ends the renaming and keeps the name; a second one closes the popup.
        QTest::keyClick(panel, Qt::Key_Escape);
        QCOMPARE(storedGroups(*store).first().name, QStringLiteral("Deep Work"));
        QTest::keyClick(panel, Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!hover.popupController().isShowing(), 10000);

        QCOMPARE(page->nameField()->text(), QStringLiteral("Deep Work"));
        page->nameField()->setFocus();
        QTest::keyClick(page->nameField(), Qt::Key_End);
        QTest::keyClicks(page->nameField(), QStringLiteral("!"));
        QCOMPARE(storedGroups(*store).first().name, QStringLiteral("Deep Work!"));
        QCOMPARE(storedGroups(*store).first().apps.size(), 1);
        MainViewFactories::shared().groupEditor = nullptr;
        widget.reset();
        store.reset();
    }

    // The Dock's index follows a name typed into the editor key by key, and once the rename has been
    // synced, the group's renamed folder in the Dock: what the disk and the Dock said is taken again
    // only while the groups folder and the Dock's tiles stay as they were.
    void theHoverIndexFollowsATypedNameAndTheSyncedFolder()
    {
        FakeDockPlatform platform;
        auto runner = std::make_unique<FakeProcessRunner>();
        for (const char *tool : {"/usr/bin/touch", "/usr/bin/chflags"})
            runner->results.insert(QString::fromLatin1(tool), ProcessResult{0, std::nullopt});
        ProcessRunner::install(std::move(runner));
        DockRestarter::install(std::make_unique<FakeDockRestarter>());
        QTemporaryDir dir;
        auto store = makeEditorStore(dir);
        AppGroup group = workGroupWithPages(*store);
        std::optional<bool> synced;
        store->syncGroupToDock(group, true, nullptr, [&synced](bool success) { synced = success; });
        QTRY_VERIFY_WITH_TIMEOUT(synced.has_value(), 20000);
        QVERIFY(*synced);

        PermissionManager permission;
        HoverService hover(store.get(), &permission, nullptr, nullptr, makePopupPresenter());
        // As the shell does: every change of the groups reaches the hover service.
        connect(store.get(), &GroupManager::groupsChanged, &hover, [&hover] { hover.refreshTracking(); });
        hover.setMode(InteractionMode::Hover);
        QVERIFY(hover.isActive());
        const QString before = QDir(store->groupsDirectory()).filePath(QStringLiteral("Work"));
        const QString after = QDir(store->groupsDirectory()).filePath(QStringLiteral("Work Notes"));
        QCOMPARE(hover.pathToGroup().value(before).id, group.id);

        std::unique_ptr<QWidget> widget(MainViewFactories::shared().groupEditor(group, false, [] {}));
        auto *page = qobject_cast<GroupEditorPage *>(widget.get());
        QVERIFY(page);
        page->resize(620, 540);
        page->show();
        page->nameField()->setFocus();
        QTest::keyClick(page->nameField(), Qt::Key_End);
        QTest::keyClicks(page->nameField(), QStringLiteral(" Notes"));
        // Each key: the new name answers, the folder in the Dock is still the old one.
        QCOMPARE(hover.nameToGroup().value(QStringLiteral("Work Notes")).id, group.id);
        QCOMPARE(hover.nameToGroup().value(QStringLiteral("Work")).id, group.id);
        QCOMPARE(hover.pathToGroup().value(before).name, QStringLiteral("Work Notes"));
        QVERIFY(!hover.pathToGroup().contains(after));

        auto *bar = page->findChild<DockSyncBar *>();
        QVERIFY(bar);
        QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible() && bar->syncButton()->isVisible(), 10000);
        QTest::mouseClick(bar->syncButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(after) && !QFileInfo::exists(before), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(store->isGroupSyncedToDock(page->draft()->draft()), 20000);
        // The next key finds the renamed folder standing in the Dock in place of the old one.
        QTest::keyClicks(page->nameField(), QStringLiteral("!"));
        QVERIFY(!hover.pathToGroup().contains(before));
        QCOMPARE(hover.pathToGroup().value(after).id, group.id);
        QCOMPARE(hover.pathToGroup().value(after).name, QStringLiteral("Work Notes!"));
        const DockItemInfo tile{QStringLiteral("Work Notes"), FakeDockPlatform::bottomTile(0), QStringLiteral("AXFolderDockItem"),
                                QUrl::fromLocalFile(after)};
        QCOMPARE(hover.groupForDockItem(tile)->id, group.id);
        QVERIFY(!hover.nameToGroup().contains(QStringLiteral("Work")));
        MainViewFactories::shared().groupEditor = nullptr;
        widget.reset();
        store.reset();
        ProcessRunner::install(nullptr);
        DockRestarter::install(nullptr);
    }
};

KESTROWAN_TEST_MAIN(TestEditorWiring)
#include "tst_editorwiring.moc"
