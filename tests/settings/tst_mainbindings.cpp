// The main window with the program's own pages and menu put in: the card's add-to-group menu, the
// settings page and the group editor, reached through the window's bindings.
#include "tests/app/FakeShellServices.h"
#include "tests/mainwindow/MainWindowTestSupport.h"

#include "Kestrowan/app/MainViewPages.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/AddToGroupMenu.h"
#include "Kestrowan/mainwindow/GroupCardView.h"
#include "Kestrowan/mainwindow/GroupGrid.h"
#include "Kestrowan/mainwindow/GroupGridPage.h"
#include "Kestrowan/mainwindow/MainWindowActions.h"
#include "Kestrowan/mainwindow/QuickAddButton.h"
#include "Platform/UserDefaults.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "Kestrowan/mainwindow/SettingsPanel.h"
#include "Kestrowan/mainwindow/ToolbarButton.h"
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/fake/FakeApplicationActivation.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestMain.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QPointer>

class TestMainBindings : public QObject {
    Q_OBJECT
private:
    QString m_program;
    ShellJournal m_journal;
    std::unique_ptr<GroupManager> m_store;
    std::unique_ptr<AppNavigation> m_navigation;
    std::unique_ptr<JournalPermissionManager> m_permission;
    std::unique_ptr<AppUpdater> m_updater;
    FakeInstalledApps m_apps;

    std::unique_ptr<MainView> makeView()
    {
        AppEnvironment environment;
        environment.groupManager = m_store.get();
        environment.navigation = m_navigation.get();
        environment.permissionManager = m_permission.get();
        environment.appUpdater = m_updater.get();
        environment.appsService = &m_apps;
        installMainViewPages(environment);
        auto view = std::make_unique<MainView>(*m_store, m_apps, *m_navigation, nullptr);
        view->resize(620, 540);
        view->show();
        return view;
    }

    static AddToGroupMenu *shownMenu()
    {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *menu = window->findChild<AddToGroupMenu *>(); menu && window->isVisible())
                return menu;
        }
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        m_program = QDir::homePath() + "/Applications/Kestrowan";
        writeBytes(m_program, "#!/bin/sh\n");
        ApplicationActivation::install(std::make_unique<FakeApplicationActivation>());
        applyLook(false);
    }

    void init()
    {
        QDir(appSupportDirectoryURL()).removeRecursively();
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, true);
        DockService::clearSyncBlock();
        installSucceedingProcessRunner();
        m_store = startedManager(m_program);
        m_navigation = std::make_unique<AppNavigation>();
        m_permission = std::make_unique<JournalPermissionManager>(m_journal);
        m_updater = std::make_unique<AppUpdater>(AppUpdateConfiguration::fromInfoDictionary({}));
    }

    void cleanup()
    {
        MainViewFactories::shared() = MainViewFactories();
        m_store.reset();
    }

    void theCardMenusFilesLandInGroupsJson()
    {
        AppGroup work = m_store->createGroup();
        work.name = "Work";
        m_store->updateGroup(work);
        auto view = makeView();
        GroupCardView *card = view->gridPage()->grid()->card(work.id);
        clickWidget(card->quickAddButton());
        AddToGroupMenu *menu = shownMenu();
        QVERIFY(menu);
        QCOMPARE(menu->rows().size(), 4);
        QCOMPARE(menu->rows().at(2)->objectName(), QString("menu.files"));
        // Choosing a row closes the menu before the panel opens.
        clickWidget(menu->rows().at(2));
        QVERIFY(!card->isShowingAddMenu());
        QFileDialog *panel = view->openPanel();
        QVERIFY(panel);
        const QString file = QDir::homePath() + "/notes.txt";
        writeBytes(file, "notes");
        panel->selectFile("notes.txt");
        static_cast<QDialog *>(panel)->accept();
        QCOMPARE(view->actions().group(work.id)->apps.size(), 1);
        // Saved through the store: a new run reads it from "groups.json".
        QTRY_COMPARE(startedManager(m_program)->groups().first().apps.size(), 1);
        QCOMPARE(startedManager(m_program)->groups().first().apps.first().path, file);
    }

    void theMenuRowsHighlightAndRunTheirOwnAction()
    {
        QStringList ran;
        AddToGroupMenu menu([&] { ran << "dock"; }, [&] { ran << "apps"; }, [&] { ran << "files"; },
                            [&] { ran << "folders"; });
        menu.show();
        QCOMPARE(menu.width(), AddToGroupMenu::menuWidth);
        for (AddToGroupMenuRow *row : menu.rows())
            QVERIFY(row->height() >= 56);
        for (AddToGroupMenuRow *row : menu.rows())
            QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(row->width() - 40, row->height() / 2));
        QTest::mouseClick(menu.rows().at(1), Qt::LeftButton);
        QCOMPARE(ran, (QStringList{"dock", "apps", "files", "folders", "apps"}));
        // The gap between two rows runs nothing.
        const QPoint gap(menu.width() / 2, menu.rows().at(0)->geometry().bottom() + 2);
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.rows().at(0)->parentWidget()->mapTo(&menu, gap));
        QCOMPARE(ran.size(), 5);
    }

    void settingsAndEditorPagesOpenAndGoBack()
    {
        AppGroup work = m_store->createGroup();
        auto view = makeView();
        clickWidget(view->gridPage()->settingsButton());
        QTRY_VERIFY(qobject_cast<SettingsPanel *>(view->shownPage()));
        QCOMPARE(m_navigation->selectedPage(), std::optional<DetailPage>(DetailPage::settings()));
        clickWidget(view->shownPage()->findChild<QAbstractButton *>("back"));
        QTRY_VERIFY(view->shownPage() == view->gridPage());
        QCOMPARE(m_navigation->selectedPage(), std::optional<DetailPage>());

        // A card opens the editor of the group whose id it holds.
        clickWidget(view->gridPage()->grid()->card(work.id));
        QTRY_COMPARE(view->currentPage(), std::optional<DetailPage>(DetailPage::group(work.id)));
        QVERIFY(view->shownPage() != view->gridPage());
        QVERIFY(!qobject_cast<SettingsPanel *>(view->shownPage()));
    }

    // A language chosen from the settings page's list reaches the home page's bar too.
    void theHomeBarFollowsALanguageChosenInTheSettings()
    {
        auto view = makeView();
        QCOMPARE(view->gridPage()->settingsButton()->text(), localized("settings.title"));
        const QString before = localized("main.syncAll");
        clickWidget(view->gridPage()->settingsButton());
        QTRY_VERIFY(qobject_cast<SettingsPanel *>(view->shownPage()));
        auto *language = view->shownPage()->findChild<QComboBox *>("language");
        QVERIFY(language);
        const QPointer<QComboBox> chosenFrom(language);
        QTest::mouseClick(language, Qt::LeftButton);
        QAbstractItemView *list = language->view();
        QTRY_VERIFY(list->isVisible());
        const QRect japanese = list->visualRect(language->model()->index(language->findData("ja"), 0));
        QTest::mouseMove(list->viewport(), japanese.center());
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            if (list->isVisible())
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, japanese.center());
            return LanguageManager::shared().currentLanguage() == QString("ja");
        }(), 10000);
        // The settings page is rebuilt in the new language, the clicked list with it.
        QTRY_VERIFY(!chosenFrom);
        QVERIFY(view->shownPage()->findChild<QAbstractButton *>("back"));
        clickWidget(view->shownPage()->findChild<QAbstractButton *>("back"));
        QTRY_VERIFY(view->shownPage() == view->gridPage());
        QCOMPARE(view->gridPage()->settingsButton()->text(), QString::fromUtf8("設定"));
        QVERIFY(view->gridPage()->syncAllButton()->text() != before);
        QCOMPARE(view->gridPage()->syncAllButton()->text(), localized("main.syncAll"));
        LanguageManager::shared().setCurrentLanguage("system");
    }
};

KESTROWAN_TEST_MAIN(TestMainBindings)
#include "tst_mainbindings.moc"
