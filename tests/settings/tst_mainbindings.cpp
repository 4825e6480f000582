// The main window with the program's own pages and menu put in: the card's add-to-group menu, the
// settings page and the group editor, reached through the window's bindings.
#include "tests/app/FakeShellServices.h"
#include "tests/mainwindow/MainWindowTestSupport.h"
#include "tests/settings/MainViewFixture.h"

#include "Kestrowan/app/MainViewPages.h"
#include "Kestrowan/editor/EditorHeaderRow.h"
#include "Kestrowan/editor/EditorSyncController.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/SettingsValues.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/AddToGroupMenu.h"
#include "Kestrowan/mainwindow/AppPickerList.h"
#include "Kestrowan/mainwindow/AppPickerView.h"
#include "Kestrowan/mainwindow/GroupCardView.h"
#include "Kestrowan/mainwindow/GroupGrid.h"
#include "Kestrowan/mainwindow/GroupGridPage.h"
#include "Kestrowan/mainwindow/MainWindowActions.h"
#include "Kestrowan/mainwindow/QuickAddButton.h"
#include "Platform/UserDefaults.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "Kestrowan/mainwindow/SettingsPanel.h"
#include "Kestrowan/mainwindow/SettingsWidgets.h"
#include "Kestrowan/mainwindow/ToolbarButton.h"
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/DroppedItemKeeper.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/fake/FakeApplicationActivation.h"
#include "Platform/fake/FakeDockRestarter.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestMain.h"

#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/TokenLabel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QMenu>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QPointer>
#include <QSignalSpy>

namespace {

// With the language box's menu open: points at the entry for `code` until the menu takes it, then
// clicks it, as the user does.
void chooseFromOpenLanguageMenu(QComboBox *box, const QString &code)
{
    auto *button = qobject_cast<SettingsPopUpButton *>(box);
    QVERIFY(button);
    QTRY_VERIFY(button->openMenu() && button->openMenu()->isVisible());
    QMenu *menu = button->openMenu();
    QAction *entry = menu->actions().value(box->findData(code));
    QVERIFY(entry);
    const QRect row = menu->actionGeometry(entry);
    QTest::mouseMove(menu->windowHandle(), QPoint(row.left() + 2, row.top() + 2));
    QTRY_VERIFY([&] {
        QTest::mouseMove(menu->windowHandle(), row.center());
        return menu->activeAction() == entry;
    }());
    QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, {}, row.center());
}

} // namespace

class TestMainBindings : public QObject {
    Q_OBJECT
private:
    MainViewFixture m_main;

    // The Cancel button's text of an open panel made now, as the quick-add menu makes it.
    static QString openPanelCancelText()
    {
        QFileDialog panel;
        panel.setOption(QFileDialog::DontUseNativeDialog);
        panel.setFileMode(QFileDialog::ExistingFiles);
        const QDialogButtonBox *buttons = panel.findChild<QDialogButtonBox *>();
        const QPushButton *cancel = buttons ? buttons->button(QDialogButtonBox::Cancel) : nullptr;
        return cancel ? cancel->text().remove(u'&') : QString();
    }

    // The language box of the settings page on screen.
    static QComboBox *languageBox(MainView &view)
    {
        return view.shownPage() ? view.shownPage()->findChild<QComboBox *>("language") : nullptr;
    }

    // What a user sees in every view after a language switch: the settings page's section titles and
    // the grid page's bottom bar, in the language's own words.
    static void checkEveryViewReads(MainView &view, const QPointer<QWidget> &settings, const QString &syncAll)
    {
        QVERIFY(settings);
        QTRY_VERIFY(languageBox(view) && languageBox(view)->isVisible());
        QStringList titles;
        for (TokenLabel *label : settings->findChildren<TokenLabel *>("sectionTitle"))
            if (label->isVisible())
                titles << label->text();
        QVERIFY2(titles.contains(localized("settings.general")), qPrintable(titles.join(", ")));
        QCOMPARE(localized("main.syncAll"), syncAll);
        QCOMPARE(view.gridPage()->syncAllButton()->text(), syncAll);
        QCOMPARE(view.gridPage()->settingsButton()->text(), localized("settings.title"));
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
        m_main.prepare();
    }

    void init()
    {
        QDir(appSupportDirectoryURL()).removeRecursively();
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, true);
        m_main.start();
    }

    void cleanup()
    {
        MainViewFactories::shared() = MainViewFactories();
        LanguageManager::shared().setCurrentLanguage("system");
        m_main.store.reset();
    }

    void theCardMenusFilesLandInGroupsJson()
    {
        AppGroup work = m_main.store->createGroup();
        work.name = "Work";
        m_main.store->updateGroup(work);
        auto view = m_main.makeView();
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
        // It chooses what is there and makes no folders; it stays inside the window.
        QVERIFY(panel->testOption(QFileDialog::ReadOnly));
        QTRY_VERIFY(panel->isVisible());
        const QWidget *newFolder = panel->findChild<QWidget *>("newFolderButton");
        QVERIFY(!newFolder || !newFolder->isVisible());
        QVERIFY2(view->window()->geometry().contains(panel->geometry()), qPrintable(QString("%1,%2 %3x%4").arg(panel->x()).arg(panel->y()).arg(panel->width()).arg(panel->height())));
        const QString file = QDir::homePath() + "/notes.txt";
        writeBytes(file, "notes");
        panel->selectFile("notes.txt");
        static_cast<QDialog *>(panel)->accept();
        QCOMPARE(view->actions().group(work.id)->apps.size(), 1);
        // Saved through the store: a new run reads it from "groups.json".
        QTRY_COMPARE(startedManager(m_main.program)->groups().first().apps.size(), 1);
        QCOMPARE(startedManager(m_main.program)->groups().first().apps.first().path, file);
    }

    // Keys go where the keyboard is: the focused widget of the active window, as a user's would.
    static void press(int key)
    {
        QWidget *focused = QApplication::focusWidget();
        QVERIFY(focused);
        QTest::keyClick(focused, Qt::Key(key), Qt::NoModifier);
    }

    // In a window at its smallest, the installed-applications sheet fits inside it and is used from
    // the keyboard alone: typing searches, the arrows walk the rows, Space toggles, Return is Done.
    void theApplicationsSheetFitsAndWorksFromTheKeyboard()
    {
        AppGroup work = m_main.store->createGroup();
        work.name = "Work";
        m_main.store->updateGroup(work);
        QList<AppItem> installed;
        for (int i = 0; i < 30; ++i) {
            const QString number = QString::number(i);
            installed.append(makeItem(QStringLiteral("com.example.tool") + number, QStringLiteral("Tool ") + number,
                                      QStringLiteral("/usr/share/applications/tool%1.desktop").arg(number)));
        }
        installed.append(makeItem(QStringLiteral("com.example.mail"), QStringLiteral("Mail"),
                                  QStringLiteral("/usr/share/applications/mail.desktop")));
        m_main.apps.publish(installed, false);
        auto view = m_main.makeView();
        view->resize(view->minimumSize());
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        clickWidget(view->gridPage()->grid()->card(work.id)->quickAddButton());
        AddToGroupMenu *menu = shownMenu();
        QVERIFY(menu);
        clickWidget(menu->rows().at(1));
        QTRY_VERIFY(view->quickAddSheet() && view->quickAddSheet()->isVisible());
        QDialog *sheet = view->quickAddSheet();
        QVERIFY2(view->window()->geometry().contains(sheet->geometry()),
                 qPrintable(QString("%1,%2 %3x%4").arg(sheet->x()).arg(sheet->y()).arg(sheet->width()).arg(sheet->height())));
        auto *picker = sheet->findChild<AppPickerView *>();
        QVERIFY(picker);
        AppPickerList *list = picker->list();

        // The search field has the keyboard as the sheet opens.
        QTRY_COMPARE(QApplication::focusWidget(), picker->searchField());
        // A long list shows that it scrolls.
        QTRY_VERIFY(list->verticalScrollBar()->isVisible());
        QVERIFY(list->verticalScrollBar()->width() <= 10);

        // Down leaves the field for the rows; the arrows walk them; Space toggles the current one.
        press(Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), list);
        QCOMPARE(list->currentRow(), 0);
        press(Qt::Key_Down);
        press(Qt::Key_Down);
        press(Qt::Key_Up);
        QCOMPARE(list->currentRow(), 1);
        press(Qt::Key_Space);
        QVERIFY(picker->staged().isSelected("com.example.tool1"));
        press(Qt::Key_Space);
        QVERIFY(!picker->staged().isSelected("com.example.tool1"));
        press(Qt::Key_Space);
        // The last row comes into view.
        press(Qt::Key_End);
        QCOMPARE(list->currentRow(), int(installed.size()) - 1);
        QCOMPARE(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
        QVERIFY(list->verticalScrollBar()->maximum() > 0);

        // Typing in the list goes to the field.
        QTest::keyClicks(QApplication::focusWidget(), "ma");
        QCOMPARE(QApplication::focusWidget(), picker->searchField());
        QCOMPARE(picker->searchField()->text(), QString("ma"));
        QCOMPARE(list->rows().size(), 1);
        press(Qt::Key_Down);
        press(Qt::Key_Space);
        QVERIFY(picker->staged().isSelected("com.example.mail"));
        press(Qt::Key_Return);
        QTRY_VERIFY(!view->quickAddSheet());
        QStringList stored;
        const auto group = view->actions().group(work.id);
        QVERIFY(group);
        for (const AppItem &item : group->apps)
            stored << item.bundleIdentifier;
        const QStringList wanted{QStringLiteral("com.example.tool1"), QStringLiteral("com.example.mail")};
        QCOMPARE(stored, wanted);
    }

    // A file chosen in the open panel from a temporary folder is kept as a copy, as a dropped one
    // is; the copy goes with its group.
    void aFileChosenFromATemporaryFolderIsKeptAsACopy()
    {
        DroppedItemKeeper::followStore(*m_main.store, DroppedItemKeeper::defaultFolder());
        AppGroup work = m_main.store->createGroup();
        work.name = "Work";
        m_main.store->updateGroup(work);
        QTemporaryDir scratch(QDir::tempPath() + "/kestrowan-panel-XXXXXX");
        QVERIFY(scratch.isValid() && DroppedItemKeeper::isTemporaryPath(scratch.path(), DroppedItemKeeper::systemTemporaryFolders()));
        writeBytes(scratch.filePath("report.txt"), "quarterly figures");
        auto view = m_main.makeView();
        clickWidget(view->gridPage()->grid()->card(work.id)->quickAddButton());
        AddToGroupMenu *menu = shownMenu();
        QVERIFY(menu);
        clickWidget(menu->rows().at(2));
        QFileDialog *panel = view->openPanel();
        QVERIFY(panel);
        panel->setDirectory(scratch.path());
        panel->selectFile("report.txt");
        static_cast<QDialog *>(panel)->accept();
        const QString kept = DroppedItemKeeper::defaultFolder() + "/report.txt";
        QTRY_COMPARE(view->actions().group(work.id)->apps.size(), 1);
        QCOMPARE(view->actions().group(work.id)->apps.first().path, kept);
        QCOMPARE(readBytes(kept), QByteArray("quarterly figures"));
        view->actions().deleteGroup(work.id);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(kept), 20000);
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
        AppGroup work = m_main.store->createGroup();
        auto view = m_main.makeView();
        clickWidget(view->gridPage()->settingsButton());
        QTRY_VERIFY(qobject_cast<SettingsPanel *>(view->shownPage()));
        QCOMPARE(m_main.navigation->selectedPage(), std::optional<DetailPage>(DetailPage::settings()));
        clickWidget(view->shownPage()->findChild<QAbstractButton *>("back"));
        QTRY_VERIFY(view->shownPage() == view->gridPage());
        QCOMPARE(m_main.navigation->selectedPage(), std::optional<DetailPage>());

        // A card opens the editor of the group whose id it holds.
        clickWidget(view->gridPage()->grid()->card(work.id));
        QTRY_COMPARE(view->currentPage(), std::optional<DetailPage>(DetailPage::group(work.id)));
        QVERIFY(view->shownPage() != view->gridPage());
        QVERIFY(!qobject_cast<SettingsPanel *>(view->shownPage()));
    }
    // Leaving the editor while its sync counts down: the sync goes on after the grid is back, and
    // the card tells its end without the grid being rebuilt.
    void aCardFollowsTheSyncOfAnEditorLeftDuringItsCountdown()
    {
        UserDefaults::standard().setValue(AppSettings::autoSyncEnabledKey, true);
        const QString folder = makeFolder(QDir::homePath() + "/Projects");
        AppGroup work = m_main.store->createGroup();
        work.name = "Work";
        work.apps = {makeItem("file:" + folder, "Projects", folder)};
        m_main.store->updateGroup(work);
        auto view = m_main.makeView();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        GroupCardView *card = view->gridPage()->grid()->card(work.id);
        QSignalSpy done(view.get(), &MainView::syncAllDoneChanged);
        clickWidget(view->gridPage()->syncAllButton());
        QVERIFY(done.wait(20000));
        QTRY_VERIFY(card->showsSyncState() && card->showsSynced());

        clickWidget(card);
        QTRY_VERIFY(qobject_cast<GroupEditorPage *>(view->shownPage()));
        auto *editor = qobject_cast<GroupEditorPage *>(view->shownPage());
        QLineEdit *name = editor->nameField();
        clickWidget(name);
        QTest::keyClick(name, Qt::Key_End);
        QTest::keyClicks(name, " Two");
        QTRY_VERIFY(editor->syncController()->countdownRemaining() > 0);
        // The Dock takes its time over the new name.
        auto restarter = std::make_unique<FakeDockRestarter>();
        FakeDockRestarter *dock = restarter.get();
        dock->holds = true;
        DockRestarter::install(std::move(restarter));
        clickWidget(editor->header()->backButton());
        QTRY_VERIFY(view->shownPage() == view->gridPage());
        QTRY_COMPARE_WITH_TIMEOUT(m_main.store->groups().first().name, QString("Work Two"), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!dock->held.isEmpty(), 20000);
        card = view->gridPage()->grid()->card(work.id);
        QTRY_VERIFY(card->isVisible() && card->showsSyncState() && !card->showsSynced());
        // The page has settled: nothing else draws the card again.
        QTest::qWait(500);
        dock->holds = false;
        dock->finishHeld();
        QTRY_VERIFY_WITH_TIMEOUT(m_main.store->isGroupSyncedToDock(m_main.store->groups().first()), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(card->showsSyncState() && card->showsSynced(), 20000);
        installSucceedingProcessRunner();
        UserDefaults::standard().remove(AppSettings::autoSyncEnabledKey);
    }

    // The language box rebuilds the page it sits on; choosing through it, with the mouse and with
    // the keys, must leave the program running, store the choice and turn every view at once.
    void everyLanguageChosenInTheBoxTurnsEveryView()
    {
        m_main.store->createGroup();
        auto view = m_main.makeView();
        clickWidget(view->gridPage()->settingsButton());
        QTRY_VERIFY(qobject_cast<SettingsPanel *>(view->shownPage()));
        const QPointer<QWidget> settings = view->shownPage();
        const QList<QPair<QString, QString>> languages{
            {"en", "Sync All"}, {"es", "Sincronizar todo"}, {"ja", "すべて同期"}, {"pt-BR", "Sincronizar tudo"}, {"zh-Hans", "全部同步"}};

        // With the mouse: open the list, point at the entry, click it.
        for (const auto &[code, syncAll] : languages) {
            QComboBox *box = languageBox(*view);
            QVERIFY(box);
            clickWidget(box);
            chooseFromOpenLanguageMenu(box, code);
            if (QTest::currentTestFailed())
                return;
            QTRY_COMPARE(UserDefaults::standard().string("appLanguage"), code);
            QCOMPARE(UserDefaults::standard().stringList("AppleLanguages"), QStringList{code});
            checkEveryViewReads(*view, settings, syncAll);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(languageBox(*view)->currentData().toString(), code);
        }

        // With the keys: the arrows step through the entries of the closed box.
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        QComboBox *box = languageBox(*view);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Home);
        QTRY_COMPARE(UserDefaults::standard().string("appLanguage"), QString("system"));
        for (const auto &[code, syncAll] : languages) {
            // The rebuilt page's box has the keyboard again.
            QTRY_VERIFY(languageBox(*view) && languageBox(*view)->hasFocus());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QTRY_COMPARE(UserDefaults::standard().string("appLanguage"), code);
            checkEveryViewReads(*view, settings, syncAll);
            if (QTest::currentTestFailed())
                return;
        }

        // Back on the grid, the bar reads in the last language chosen.
        clickWidget(settings->findChild<QAbstractButton *>("back"));
        QTRY_VERIFY(view->shownPage() == view->gridPage());
        QCOMPARE(view->gridPage()->syncAllButton()->text(), QString("全部同步"));
        QCOMPARE(view->gridPage()->settingsButton()->text(), QString("设置"));
    }

    // A language chosen from the settings page's list reaches the home page's bar too.
    void theHomeBarFollowsALanguageChosenInTheSettings()
    {
        auto view = m_main.makeView();
        QCOMPARE(view->gridPage()->settingsButton()->text(), localized("settings.title"));
        const QString before = localized("main.syncAll");
        clickWidget(view->gridPage()->settingsButton());
        QTRY_VERIFY(qobject_cast<SettingsPanel *>(view->shownPage()));
        auto *language = view->shownPage()->findChild<QComboBox *>("language");
        QVERIFY(language);
        const QPointer<QComboBox> chosenFrom(language);
        QTest::mouseClick(language, Qt::LeftButton);
        chooseFromOpenLanguageMenu(language, QStringLiteral("ja"));
        QTRY_VERIFY_WITH_TIMEOUT(LanguageManager::shared().currentLanguage() == QString("ja"), 10000);
        // The settings page is rebuilt in the new language, the clicked menu with it.
        QTRY_VERIFY(!chosenFrom);
        QVERIFY(view->shownPage()->findChild<QAbstractButton *>("back"));
        clickWidget(view->shownPage()->findChild<QAbstractButton *>("back"));
        QTRY_VERIFY(view->shownPage() == view->gridPage());
        QCOMPARE(view->gridPage()->settingsButton()->text(), QString::fromUtf8("設定"));
        QVERIFY(view->gridPage()->syncAllButton()->text() != before);
        QCOMPARE(view->gridPage()->syncAllButton()->text(), localized("main.syncAll"));
        // Qt's own dialogs, the open panel among them, speak it too.
        QCOMPARE(openPanelCancelText(), QString::fromUtf8("キャンセル"));
        LanguageManager::shared().setCurrentLanguage("system");
        QCOMPARE(openPanelCancelText(), QString("Cancel"));
    }
};

KESTROWAN_TEST_MAIN(TestMainBindings)
#include "tst_mainbindings.moc"
