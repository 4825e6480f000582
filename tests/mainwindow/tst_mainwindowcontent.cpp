// The main window's content with the pages the program puts in: the group pages are the group
// editor, and the editor's app pickers are the main window's own sheets, larger.
#include "Kestrowan/app/MainViewPages.h"
#include "Kestrowan/editor/EditorItemSection.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/AppPickerList.h"
#include "Kestrowan/mainwindow/AppPickerView.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/mainwindow/MainWindowContent.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Platform/UserDefaults.h"
#include "tests/mainwindow/MainWindowTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QDialog>
#include <QDir>

class TestMainWindowContent : public QObject {
    Q_OBJECT

private slots:
    void groupPagesAreTheEditorWithTheWindowsPickers()
    {
        const QString program = QDir::homePath() + QStringLiteral("/Applications/Kestrowan");
        writeBytes(program, "#!/bin/sh\n");
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, true);
        auto store = startedManager(program);
        AppGroup work = store->createGroup();
        work.name = QStringLiteral("Work");
        store->updateGroup(work);
        AppNavigation navigation;
        FakeInstalledApps apps;
        apps.publish({makeItem(QStringLiteral("com.mail"), QStringLiteral("Mail"), QStringLiteral("/Applications/Mail.app"))}, false);
        AppEnvironment environment;
        environment.groupManager = store.get();
        environment.appsService = &apps;
        environment.navigation = &navigation;

        installMainViewPages(environment);
        std::unique_ptr<QWidget> content(makeMainWindowContent(environment, nullptr));
        auto *view = qobject_cast<MainView *>(content.get());
        QVERIFY(view);
        view->resize(620, 540);
        view->show();
        navigation.setSelectedPage(DetailPage::group(work.id));
        auto *editor = qobject_cast<GroupEditorPage *>(view->shownPage());
        QVERIFY(editor);

        auto *items = editor->findChild<EditorItemSection *>();
        QVERIFY(items);
        emit items->addAppsRequested();
        QDialog *sheet = nullptr;
        QTRY_VERIFY((sheet = editor->window()->findChild<QDialog *>()) && sheet->isVisible());
        QVERIFY(sheet->width() >= 400 && sheet->height() >= 500);
        auto *picker = sheet->findChild<AppPickerView *>();
        QVERIFY(picker);
        clickWidget(picker->list()->viewport(), picker->list()->rowRect(0).center());
        picker->commitSelection();
        QTRY_COMPARE_WITH_TIMEOUT(store->groups().first().apps.size(), 1, 20000);
        QCOMPARE(store->groups().first().apps.first().bundleIdentifier, QStringLiteral("com.mail"));
    }
};

KESTROWAN_TEST_MAIN(TestMainWindowContent)
#include "tst_mainwindowcontent.moc"
