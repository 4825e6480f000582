// The main window's root view on the offscreen platform: the onboarding gate, pages in step with the
// navigation, the grid, the cards' actions, the sheets, the delete confirmation and sync all.
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/GroupIconViews.h"
#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/mainwindow/AddToGroupMenu.h"
#include "Kestrowan/mainwindow/AppPickerList.h"
#include "Kestrowan/mainwindow/AppPickerView.h"
#include "Kestrowan/mainwindow/DockAppPickerView.h"
#include "Kestrowan/mainwindow/GroupCardView.h"
#include "Kestrowan/mainwindow/GroupGrid.h"
#include "Kestrowan/mainwindow/GroupGridPage.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "Kestrowan/mainwindow/MainWindowActions.h"
#include "Kestrowan/mainwindow/HoverCard.h"
#include "Kestrowan/mainwindow/NewGroupCardView.h"
#include "Kestrowan/mainwindow/QuickAddButton.h"
#include "Kestrowan/mainwindow/QuickAddPopover.h"
#include "Kestrowan/mainwindow/ToolbarButton.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/LineBreaking.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Kestrowan/shell/AppColors.h"
#include "NVLXDesign/KeyboardFocusRing.h"
#include "NVLXDesign/NVLXButton.h"
#include "NVLXDesign/NVLXMenu.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "Platform/linux/DockPreferencesFile.h"
#include "tests/mainwindow/MainWindowTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/LineChecks.h"
#include "tests/support/MainThreadFileLooks.h"
#include "tests/support/PermissionOverride.h"
#include "tests/support/PixelChecks.h"
#include "tests/support/RefusedDockWrites.h"
#include "tests/support/TestMain.h"

#include "Kestrowan/groups/GroupsJson.h"
#include "Kestrowan/shell/ToastBanner.h"
#include "Kestrowan/shell/TokenLabel.h"

#include <QAccessible>
#include <algorithm>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QWheelEvent>

namespace {

// Counts the events of one type that reach a widget.
class EventCounter final : public QObject {
public:
    EventCounter(QObject *watched, QEvent::Type type, int *count)
        : m_type(type), m_count(count)
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == m_type)
            ++*m_count;
        return false;
    }

private:
    QEvent::Type m_type;
    int *m_count;
};

AppItem app(const QString &identifier)
{
    return makeItem(identifier, identifier.section(u'.', -1), QStringLiteral("/Applications/") + identifier + QStringLiteral(".app"));
}

// A page that records what it was built for.
struct BuiltPage {
    QPointer<QWidget> widget;
    QUuid group;
    bool draft = false;
};


// Whether the last menu chosen from was the kit's rounded menu, with clear corners.
bool lastMenuWasTheKits = false;

// Clicks the entry `text` of the next pop-up menu as soon as it shows.
void chooseFromNextMenu(const QString &text)
{
    lastMenuWasTheKits = false;
    auto *watch = new QTimer;
    watch->setInterval(5);
    QObject::connect(watch, &QTimer::timeout, watch, [watch, text] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible())
            return;
        for (QAction *action : menu->actions()) {
            if (action->text() == text) {
                lastMenuWasTheKits = qobject_cast<NVLXMenu *>(menu) && qAlpha(menu->grab().toImage().pixel(0, 0)) == 0;
                watch->deleteLater();
                watch->stop();
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                return;
            }
        }
    });
    watch->start();
}

} // namespace

class TestMainView : public QObject {
    Q_OBJECT

private:
    QString m_home;
    QString m_program;
    std::unique_ptr<GroupManager> m_store;
    std::unique_ptr<AppNavigation> m_navigation;
    FakeInstalledApps m_apps;
    QList<BuiltPage> m_editors;
    std::function<void()> m_lastBack;

    AppGroup addGroup(const QString &name, const QList<AppItem> &apps = {})
    {
        AppGroup group = m_store->createGroup();
        group.name = name;
        group.apps = apps;
        m_store->updateGroup(group);
        return group;
    }

    std::unique_ptr<MainView> makeView()
    {
        auto view = std::make_unique<MainView>(*m_store, m_apps, *m_navigation, nullptr);
        view->resize(620, 540);
        view->show();
        return view;
    }

private slots:
    void initTestCase()
    {
        m_home = qEnvironmentVariable("HOME");
        m_program = m_home + QStringLiteral("/Applications/Kestrowan");
        writeBytes(m_program, "#!/bin/sh\n");
        applyLook(false);
        MainViewFactories &factories = MainViewFactories::shared();
        factories.groupEditor = [this](const AppGroup &group, bool isNewDraft, std::function<void()> onBack) {
            auto *page = new QLabel(group.name);
            m_editors.append({page, group.id, isNewDraft});
            m_lastBack = onBack;
            return page;
        };
    }

    void init()
    {
        QDir(appSupportDirectoryURL()).removeRecursively();
        QFile::remove(DockPreferencesFile::filePath());
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, true);
        DockService::clearSyncBlock();
        installSucceedingProcessRunner();
        m_store = startedManager(m_program);
        m_navigation = std::make_unique<AppNavigation>();
        m_editors.clear();
        m_apps.refreshes = 0;
    }

    void cleanup()
    {
        m_navigation.reset();
        m_store.reset();
    }

    void gridShowsTheNewGroupCardThenEveryGroup()
    {
        auto view = makeView();
        GroupGrid *grid = view->gridPage()->grid();
        QVERIFY(grid->cards().isEmpty());
        QVERIFY(grid->newGroupCard()->isVisible());
        QCOMPARE(m_apps.refreshes, 1);

        const AppGroup work = addGroup(QStringLiteral("Work"));
        const AppGroup play = addGroup(QStringLiteral("Play"));
        QCOMPARE(grid->cards().size(), 2);
        // Two rows: the new-group card beside the first group, the second group alone below.
        const QRect newCard = grid->newGroupCard()->geometry();
        const QRect first = grid->card(work.id)->geometry();
        const QRect second = grid->card(play.id)->geometry();
        QCOMPARE(first.top(), newCard.top());
        QVERIFY(first.left() > newCard.right());
        QCOMPARE(second.left(), newCard.left());
        QVERIFY(second.top() > newCard.bottom());
        QCOMPARE(newCard.height(), GroupGrid::cardHeight + 2 * HoverCard::bleed);

        // A card stays the same widget while its group changes, and goes with its group.
        GroupCardView *workCard = grid->card(work.id);
        AppGroup renamed = work;
        renamed.name = QStringLiteral("Office");
        m_store->updateGroup(renamed);
        QCOMPARE(grid->card(work.id), workCard);
        QCOMPARE(workCard->group().name, QStringLiteral("Office"));
        view->actions().deleteGroup(work.id);
        QTRY_COMPARE_WITH_TIMEOUT(grid->cards().size(), 1, 20000);
        QCOMPARE(grid->cards().first()->group().id, play.id);
    }

    // A group renamed while its editor covers the grid (a name typed key by key) shows the new name
    // on its card once the grid is back.
    void aCardRenamedOutOfSightShowsTheNewNameWhenBack()
    {
        const AppGroup work = addGroup(QStringLiteral("Work"));
        auto view = makeView();
        GroupCardView *card = view->gridPage()->grid()->card(work.id);
        QVERIFY(card);
        clickWidget(card);
        QCOMPARE(view->currentPage(), DetailPage::group(work.id));
        QTRY_VERIFY(!view->gridPage()->grid()->isVisible());
        AppGroup renamed = work;
        for (const QString &name : {QStringLiteral("W"), QStringLiteral("Wo"), QStringLiteral("Wor"), QStringLiteral("Word")}) {
            renamed.name = name;
            m_store->updateGroup(renamed);
        }
        view->closeDetailPage();
        QTRY_VERIFY(view->gridPage()->grid()->isVisible());
        QCOMPARE(card->group().name, QStringLiteral("Word"));
        QVERIFY(card->accessibleName().contains(QStringLiteral("Word")));
    }

    void pagesFollowTheNavigationBothWays()
    {
        const AppGroup work = addGroup(QStringLiteral("Work"));
        const AppGroup play = addGroup(QStringLiteral("Play"));
        // A page left in the navigation by an earlier window is not shown, and is cleared, so
        // that the same route later is a change.
        m_navigation->setSelectedPage(DetailPage::settings());
        auto view = makeView();
        QCOMPARE(view->currentPage(), std::nullopt);
        QCOMPARE(m_navigation->selectedPage(), std::nullopt);
        QCOMPARE(view->shownPage(), view->gridPage());

        m_navigation->setSelectedPage(DetailPage::settings());
        QCOMPARE(view->currentPage(), DetailPage::settings());
        QVERIFY(view->shownPage() != view->gridPage());

        // A click on a card opens that group and tells the navigation.
        view->closeDetailPage();
        QCOMPARE(m_navigation->selectedPage(), std::nullopt);
        QCOMPARE(view->shownPage(), view->gridPage());
        clickWidget(view->gridPage()->grid()->card(play.id));
        QCOMPARE(view->currentPage(), DetailPage::group(play.id));
        QCOMPARE(m_navigation->selectedPage(), DetailPage::group(play.id));
        QCOMPARE(m_editors.size(), 1);
        QCOMPARE(m_editors.last().group, play.id);
        QCOMPARE(view->shownPage(), m_editors.last().widget.data());

        // The same page again builds nothing; another group's page is a fresh editor.
        m_navigation->setSelectedPage(DetailPage::group(play.id));
        QCOMPARE(m_editors.size(), 1);
        m_navigation->setSelectedPage(DetailPage::group(work.id));
        QCOMPARE(m_editors.size(), 2);
        QTRY_VERIFY(m_editors.first().widget.isNull());
        QCOMPARE(view->shownPage(), m_editors.last().widget.data());

        // The group of the page goes away: the grid at once, the page value kept.
        view->actions().deleteGroup(work.id);
        QTRY_COMPARE_WITH_TIMEOUT(view->shownPage(), view->gridPage(), 20000);
        QCOMPARE(view->currentPage(), DetailPage::group(work.id));
        QCOMPARE(m_navigation->selectedPage(), DetailPage::group(work.id));

        // The new-group card opens a draft; its back action returns to the grid.
        clickWidget(view->gridPage()->grid()->newGroupCard());
        QCOMPARE(view->currentPage(), DetailPage::groupDraft());
        QVERIFY(m_editors.last().draft);
        m_lastBack();
        QCOMPARE(view->currentPage(), std::nullopt);
        QCOMPARE(m_navigation->selectedPage(), std::nullopt);
        QTRY_COMPARE(view->shownPage(), view->gridPage());

        clickWidget(view->gridPage()->settingsButton());
        QCOMPARE(m_navigation->selectedPage(), DetailPage::settings());

        // Assistive technologies press a card as a button.
        view->closeDetailPage();
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(view->gridPage()->grid()->newGroupCard());
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::Button);
        QCOMPARE(accessible->text(QAccessible::Name), localized(QStringLiteral("ax.newGroup")));
        accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(view->currentPage(), DetailPage::groupDraft());

        // A card with the keyboard focus opens with Return.
        view->closeDetailPage();
        GroupCardView *card = view->gridPage()->grid()->card(play.id);
        card->setFocus();
        QTest::keyClick(card, Qt::Key_Return);
        QCOMPARE(view->currentPage(), DetailPage::group(play.id));
    }

    void onboardingGatesTheWindowUntilItEnds()
    {
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, false);
        MainViewFactories::Action finishOnboarding;
        MainViewFactories::shared().onboarding = [&finishOnboarding](MainViewFactories::Action onFinish, MainViewFactories::Action) {
            finishOnboarding = onFinish;
            return new QLabel(QStringLiteral("Welcome"));
        };
        auto view = makeView();
        QVERIFY(view->isShowingOnboarding());
        QVERIFY(!view->gridPage()->isVisible());
        QCOMPARE(m_apps.refreshes, 1);

        QSignalSpy completed(view.get(), &MainView::onboardingCompleted);
        finishOnboarding();
        QCOMPARE(completed.count(), 1);
        QVERIFY(!view->isShowingOnboarding());
        QVERIFY(view->gridPage()->isVisible());
        QVERIFY(UserDefaults::standard().boolean(MainView::didCompleteOnboardingKey));

        // The settings' reset brings it back.
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, false);
        QVERIFY(view->isShowingOnboarding());
        MainViewFactories::shared().onboarding = nullptr;
    }

    // The quick-add menu opens above its button, its arrow on the bottom edge pointing down at it,
    // so the card's caption under the button stays in sight; its rows' texts have no line limit:
    // a subtitle too long for one line wraps whole, in every language, never ending in "…".
    void quickAddMenuOpensAboveWithWholeSubtitles()
    {
        // As the program wires it.
        MainViewFactories::shared().addToGroupMenu = [](const AddToGroupMenuActions &actions) {
            return new AddToGroupMenu(actions.onDockApps, actions.onApps, actions.onFiles, actions.onFolders);
        };
        const AppGroup work = addGroup(QStringLiteral("Work"));
        int wrapped = 0;
        for (const QString &language : {QStringLiteral("en"), QStringLiteral("es"), QStringLiteral("pt-BR"), QStringLiteral("ja"),
                                        QStringLiteral("zh-Hans")}) {
            LanguageManager::shared().setCurrentLanguage(language);
            auto view = makeView();
            // Lower on the screen than the menu is tall, as a window usually stands.
            view->move(40, 360);
            QVERIFY(QTest::qWaitForWindowExposed(view.get()));
            GroupCardView *card = view->gridPage()->grid()->card(work.id);
            clickWidget(card->quickAddButton());
            QVERIFY(card->isShowingAddMenu());
            QuickAddPopover *popover = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((popover = qobject_cast<QuickAddPopover *>(QApplication::activePopupWidget())) && popover->isVisible(), 10000);
            AddToGroupMenu *menu = popover->findChild<AddToGroupMenu *>();
            QVERIFY(menu);

            // Above the button, pointing at it: what is drawn (the panel and its arrow, not the
            // clear margin its shadow fades in) ends just above the button.
            QVERIFY(popover->arrowOnBottom());
            const QRect button(card->quickAddButton()->mapToGlobal(QPoint(0, 0)), card->quickAddButton()->size());
            const QRect panel = popover->frameGeometry();
            QVERIFY(panel.left() < button.center().x() && button.center().x() < panel.right());
            const QImage shot = popover->grab().toImage().convertToFormat(QImage::Format_ARGB32);
            const int tipX = button.center().x() - panel.left();
            const auto lowestDrawn = [&](int x) {
                for (int y = shot.height() - 1; y >= 0; --y) {
                    if (qAlpha(shot.pixel(x, y)) > 200)
                        return panel.top() + y;
                }
                return panel.top();
            };
            const int tip = lowestDrawn(tipX);
            QVERIFY2(tip < button.top() && button.top() - tip <= 6,
                     qPrintable(QStringLiteral("drawn down to %1, button from %2").arg(tip).arg(button.top())));
            // The arrow: the panel reaches lower above the button than beside it.
            QVERIFY(lowestDrawn(tipX + 40) < tip - 4);
            // Nothing of it covers the card below its top edge beside the button, the caption included.
            QVERIFY(lowestDrawn(tipX - 40) < button.top());

            const QList<AddToGroupMenuRow *> rows = menu->findChildren<AddToGroupMenuRow *>();
            QCOMPARE(rows.size(), 4);
            for (AddToGroupMenuRow *row : rows) {
                QVERIFY(row->height() >= 56);
                for (TokenLabel *label : row->findChildren<TokenLabel *>()) {
                    const QStringList lines = label->shownLines();
                    wrapped += lines.size() > 1;
                    const QString shown = lines.join(QString());
                    QVERIFY2(!shown.contains(QChar(0x2026)), qPrintable(language + ": " + shown));
                    QCOMPARE(QString(shown).remove(u' '), LineBreaking::visibleText(label->text()).remove(u' '));
                    const QString problem = lineBreakProblem(label->text(), lines);
                    QVERIFY2(problem.isEmpty(), qPrintable(language + ": " + problem));
                    const QFontMetricsF metrics(label->font());
                    for (const QString &line : lines)
                        QVERIFY2(metrics.horizontalAdvance(line) <= label->contentsRect().width() + 0.5, qPrintable(language + ": " + line));
                    QVERIFY(label->height() >= int(lines.size() * metrics.lineSpacing()) - 1);
                }
            }
            popover->close();
        }
        // "Choose from the apps in your Dock" takes two lines in English at least.
        QVERIFY(wrapped > 0);
        MainViewFactories::shared().addToGroupMenu = nullptr;
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
    }

    // With no room above (the window at the top of the screen), the menu opens below the button and
    // still leaves the card's "Add" caption under it in sight.
    void quickAddMenuBelowKeepsTheCaptionInSight()
    {
        MainViewFactories::shared().addToGroupMenu = [](const AddToGroupMenuActions &actions) {
            return new AddToGroupMenu(actions.onDockApps, actions.onApps, actions.onFiles, actions.onFolders);
        };
        const AppGroup work = addGroup(QStringLiteral("Work"));
        auto view = makeView();
        view->move(0, 0);
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        GroupCardView *card = view->gridPage()->grid()->card(work.id);
        const QImage before = card->grab().toImage();
        clickWidget(card->quickAddButton());
        QuickAddPopover *popover = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((popover = qobject_cast<QuickAddPopover *>(QApplication::activePopupWidget())) && popover->isVisible(), 10000);
        QVERIFY(!popover->arrowOnBottom());
        const QRect button(card->quickAddButton()->mapToGlobal(QPoint(0, 0)), card->quickAddButton()->size());
        // The caption's letters: what differs from the card's fill in the band under the button.
        const QImage shot = popover->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const auto topDrawn = [&](int globalX) {
            const int x = globalX - popover->frameGeometry().left();
            for (int y = 0; y < shot.height(); ++y) {
                if (qAlpha(shot.pixel(x, y)) > 200)
                    return popover->frameGeometry().top() + y;
            }
            return popover->frameGeometry().bottom();
        };
        const qreal scale = before.devicePixelRatio();
        int captionBottom = button.bottom();
        const QColor fill = before.pixelColor(int(card->width() / 2 * scale), int((card->quickAddButton()->geometry().bottom() + 6) * scale));
        for (int y = card->quickAddButton()->geometry().bottom() + 1; y < card->height() - 12; ++y) {
            for (int x = card->quickAddButton()->geometry().left() - 6; x <= card->quickAddButton()->geometry().right() + 6; ++x) {
                const QColor c = before.pixelColor(int(x * scale), int(y * scale));
                if (std::abs(c.red() - fill.red()) + std::abs(c.green() - fill.green()) + std::abs(c.blue() - fill.blue()) > 30)
                    captionBottom = std::max(captionBottom, card->mapToGlobal(QPoint(0, y)).y());
            }
        }
        QVERIFY(captionBottom > button.bottom() + 4);
        for (int x = button.left() - 6; x <= button.right() + 6; ++x)
            QVERIFY2(topDrawn(x) > captionBottom, qPrintable(QStringLiteral("drawn from %1, caption down to %2").arg(topDrawn(x)).arg(captionBottom)));
        popover->close();
        MainViewFactories::shared().addToGroupMenu = nullptr;
    }

    void quickAddMenuOpensTheOpenPanelAndSwallowsTheCardTap()
    {
        const AppGroup work = addGroup(QStringLiteral("Work"));
        auto view = makeView();
        GroupCardView *card = view->gridPage()->grid()->card(work.id);
        AddToGroupMenuActions menu;
        MainViewFactories::shared().addToGroupMenu = [&menu](const AddToGroupMenuActions &actions) {
            menu = actions;
            return new QLabel(QStringLiteral("menu"));
        };
        clickWidget(card->quickAddButton());
        QVERIFY(card->isShowingAddMenu());
        QCOMPARE(view->currentPage(), std::nullopt);

        menu.onFiles();
        QVERIFY(!card->isShowingAddMenu());
        QFileDialog *panel = view->openPanel();
        QVERIFY(panel);
        QCOMPARE(panel->fileMode(), QFileDialog::ExistingFiles);
        QCOMPARE(panel->labelText(QFileDialog::Accept), localized(QStringLiteral("picker.chooseItems")));
        // Titled for what it does; the program's own chooser, which it can put above its window.
        QCOMPARE(panel->windowTitle(), localized(QStringLiteral("editor.openPanel.filesTitle")));
        QVERIFY(panel->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(panel->windowModality(), Qt::WindowModal);

        // Two files chosen, one of them twice through a link: both land in the group, saved.
        const QString first = m_home + QStringLiteral("/a.txt");
        const QString second = m_home + QStringLiteral("/b.txt");
        writeBytes(first, "a");
        writeBytes(second, "b");
        panel->selectFile(QStringLiteral("\"a.txt\" \"b.txt\""));
        static_cast<QDialog *>(panel)->accept();
        QCOMPARE(view->actions().group(work.id)->apps.size(), 2);
        auto relaunched = startedManager(m_program);
        QCOMPARE(relaunched->groups().first().apps.size(), 2);

        // The folder panel chooses folders only.
        clickWidget(card->quickAddButton());
        menu.onFolders();
        QCOMPARE(view->openPanel()->fileMode(), QFileDialog::Directory);
        QVERIFY(view->openPanel()->testOption(QFileDialog::ShowDirsOnly));
        view->openPanel()->reject();
        QCOMPARE(view->actions().group(work.id)->apps.size(), 2);
        MainViewFactories::shared().addToGroupMenu = nullptr;
    }

    void installedAppsSheetCommitsOnDoneOnly()
    {
        const AppItem doc = makeItem(QStringLiteral("file:/tmp/a.pdf"), QStringLiteral("a"), QStringLiteral("/tmp/a.pdf"));
        const AppGroup work = addGroup(QStringLiteral("Work"), {app(QStringLiteral("com.mail")), doc});
        m_apps.publish({app(QStringLiteral("com.mail")), app(QStringLiteral("com.maps")), app(QStringLiteral("com.music"))}, false);
        auto view = makeView();

        view->presentInstalledAppsPicker(work.id);
        auto *picker = view->quickAddSheet()->findChild<AppPickerView *>();
        QVERIFY(picker);
        QCOMPARE(view->quickAddSheet()->size(), QSize(360, 420));
        AppPickerList *list = picker->list();
        QCOMPARE(list->rows().size(), 3);
        clickWidget(list->viewport(), list->rowRect(2).center());
        clickWidget(list->viewport(), list->rowRect(0).center());
        QCOMPARE(picker->staged().count(), 2);
        picker->cancelButton()->click();
        QTRY_VERIFY(!view->quickAddSheet());
        QCOMPARE(view->actions().group(work.id)->apps, work.apps);

        view->presentInstalledAppsPicker(work.id);
        picker = view->quickAddSheet()->findChild<AppPickerView *>();
        picker->searchField()->setText(QStringLiteral("maps"));
        QCOMPARE(picker->list()->rows().size(), 1);
        clickWidget(picker->list()->viewport(), picker->list()->rowRect(0).center());
        // While the list scans, only the scanning row shows; the staged list is untouched.
        m_apps.publish(m_apps.apps, true);
        QVERIFY(picker->list()->rows().size() == 1);
        QTest::keyClick(view->quickAddSheet(), Qt::Key_Return);
        QTRY_VERIFY(!view->quickAddSheet());
        const QList<AppItem> stored = view->actions().group(work.id)->apps;
        QCOMPARE(stored.size(), 3);
        QCOMPARE(stored.last().bundleIdentifier, QStringLiteral("com.maps"));
        QCOMPARE(startedManager(m_program)->groups().first().apps, stored);
    }

    void aClickInAScrolledPickerTicksTheRowUnderThePointer()
    {
        KeyboardFocusRing::install();
        const AppGroup work = addGroup(QStringLiteral("Tools"), {});
        QList<AppItem> installed;
        for (int i = 0; i < 30; ++i)
            installed.append(app(QStringLiteral("com.example.app%1").arg(i, 2, 10, QLatin1Char('0'))));
        m_apps.publish(installed, false);
        auto view = makeView();
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        view->presentInstalledAppsPicker(work.id);
        auto *picker = view->quickAddSheet()->findChild<AppPickerView *>();
        QVERIFY(picker);
        AppPickerList *list = picker->list();
        QTRY_VERIFY(list->isVisible());
        QVERIFY(!list->hasFocus());

        // The wheel takes the list well down; the list does not have the keyboard yet.
        const QPoint middle = list->viewport()->rect().center();
        for (int turn = 0; turn < 6; ++turn) {
            QWheelEvent wheel(middle, list->viewport()->mapToGlobal(middle), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(list->viewport(), &wheel);
        }
        const int scrolled = list->verticalScrollBar()->value();
        QVERIFY(scrolled > 3 * AppPickerList::rowHeight);
        int target = -1;
        for (int i = 0; i < list->rows().size() && target < 0; ++i) {
            if (list->rowRect(i).top() >= 0 && list->rowRect(i).center().y() > middle.y())
                target = i;
        }
        QVERIFY(target > 3);
        const QString expected = list->rows().at(target).bundleIdentifier;
        clickWidget(list->viewport(), list->rowRect(target).center());
        QVERIFY(list->hasFocus());
        QCOMPARE(list->verticalScrollBar()->value(), scrolled);
        QCOMPARE(picker->staged().count(), 1);
        QVERIFY(picker->staged().isSelected(expected));
        QCOMPARE(list->currentRow(), target);

        // The click's row shows no keyboard ring; Down, the keyboard's, moves one onto the next row.
        const auto ringInk = [list](int row) {
            const QImage picture = list->viewport()->grab().toImage();
            const QColor ring = AppColors::accent.resolve(list);
            const QRect box = list->rowRect(row);
            int count = 0;
            for (int y = box.top() + 12; y < box.bottom() - 12; ++y) {
                const QColor c = picture.pixelColor(QPoint(box.left() + 1, y) * picture.devicePixelRatio());
                count += std::abs(c.red() - ring.red()) < 40 && std::abs(c.green() - ring.green()) < 40 && std::abs(c.blue() - ring.blue()) < 40;
            }
            return count;
        };
        QCOMPARE(ringInk(target), 0);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentRow(), target + 1);
        QTRY_VERIFY_WITH_TIMEOUT(ringInk(target + 1) > 10, 10000);
        QCOMPARE(ringInk(target), 0);
    }

    void dockAppsPickerTogglesByIdentifier()
    {
        const AppItem first = app(QStringLiteral("com.mail"));
        const AppItem twin = app(QStringLiteral("com.mail"));
        const QList<AppItem> dock{app(QStringLiteral("com.mail")), app(QStringLiteral("com.notes"))};
        DockAppPickerView picker({first, twin}, dock);
        QSignalSpy committed(&picker, &DockAppPickerView::committed);
        QSignalSpy cancelled(&picker, &DockAppPickerView::cancelled);
        QCOMPARE(picker.cells().size(), 2);
        picker.cells().at(0)->click();
        // One of two items with the identifier goes; the cell stays selected.
        QCOMPARE(picker.staged().items(), QList<AppItem>{twin});
        QVERIFY(picker.staged().isSelected(QStringLiteral("com.mail")));
        picker.cells().at(1)->click();
        picker.cancelButton()->click();
        QCOMPARE(cancelled.count(), 1);
        QCOMPARE(committed.count(), 0);
        picker.doneButton()->click();
        QCOMPARE(committed.count(), 1);
        QCOMPARE(committed.first().first().value<QList<AppItem>>(), QList<AppItem>({twin, dock.at(1)}));

        DockAppPickerView empty({first}, {});
        QSignalSpy emptyCommit(&empty, &DockAppPickerView::committed);
        QVERIFY(empty.cells().isEmpty());
        empty.doneButton()->click();
        QCOMPARE(emptyCommit.first().first().value<QList<AppItem>>(), QList<AppItem>{first});
    }

    void sheetForAGroupThatIsGoneEditsNothing()
    {
        auto view = makeView();
        view->presentDockAppsPicker(QUuid::createUuid());
        QVERIFY(view->quickAddSheet());
        QCOMPARE(view->quickAddSheet()->size(), QSize(320, 200));
        QVERIFY(!view->quickAddSheet()->findChild<DockAppPickerView *>());
    }

    void deleteAsksFirst()
    {
        const AppGroup work = addGroup(QStringLiteral("Work"));
        auto view = makeView();
        view->requestDeleteGroup(work.id);
        ConfirmationAlert *alert = view->deleteConfirmation();
        QVERIFY(alert);
        QAbstractButton *cancel = alert->cancelButton();
        QAbstractButton *remove = alert->confirmButton();
        QCOMPARE(cancel->text(), localized(QStringLiteral("picker.cancel")));
        QCOMPARE(remove->text(), localized(QStringLiteral("groupList.delete")));
        cancel->click();
        QCOMPARE(m_store->groups().size(), 1);

        view->requestDeleteGroup(work.id);
        view->deleteConfirmation()->confirmButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_store->groups().isEmpty(), 20000);
        QVERIFY(view->gridPage()->grid()->cards().isEmpty());
        QVERIFY(startedManager(m_program)->groups().isEmpty());
    }

    // The sweep keeps two folders of deleted groups for the files the user keeps in them: the
    // message names both, each whole, however long, on as many lines as that takes.
    void foldersKeptForTheUsersFilesAreNamedWhole()
    {
        const QStringList names{QStringLiteral("Quarterly-reports-of-the-northern-region-for-the-board-2026"),
                                QStringLiteral("Grant-applications-and-letters-of-support-from-partners-2027")};
        QStringList folders;
        for (const QString &name : names) {
            const QString folder = m_store->groupsDirectory() + u'/' + name;
            writeBytes(folder + QStringLiteral("/.group_id"), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toUtf8());
            recordAsMade(folder, {".group_id"});
            writeBytes(folder + QStringLiteral("/Notes.txt"), "the user's notes");
            folders.append(folder);
        }
        auto view = makeView();
        m_store->removeOrphanedGroupFolders();
        QTRY_VERIFY_WITH_TIMEOUT(view->toast().has_value(), 20000);
        auto *banner = view->findChild<ToastBanner *>();
        QVERIFY(banner);
        QTRY_VERIFY_WITH_TIMEOUT(banner->isVisible(), 20000);
        const QStringList lines = banner->visibleLines();
        const QString shown = lines.join(QString());
        for (const QString &folder : std::as_const(folders)) {
            QVERIFY2(shown.contains(folder), qPrintable(lines.join(u'|')));
            QCOMPARE(readBytes(folder + QStringLiteral("/Notes.txt")), QByteArray("the user's notes"));
        }
        QVERIFY2(!shown.contains(QChar(0x2026)), qPrintable(lines.join(u'|')));
        // Two folders are spoken of as two.
        const QStringList around = localizedFormat(QStringLiteral("groups.userFilesKeptMany"), {QStringLiteral("\n")}).split(u'\n');
        QVERIFY(view->toast()->text.startsWith(around.first()) && view->toast()->text.endsWith(around.last()));
        // Every line is drawn inside the banner.
        QVERIFY(banner->height() >= int(lines.size() * QFontMetricsF(SystemFont::font(ToastBanner::textSize, QFont::Medium)).height()));
    }

    void aFailedSaveIsToldOnceKeptAndTriedAgain()
    {
        const AppGroup work = addGroup(QStringLiteral("Work"));
        const AppGroup home = addGroup(QStringLiteral("Home"));
        addGroup(QStringLiteral("Play"));
        const WithoutPermissionOverride asAnyUser;
        m_store.reset(); // its writer's thread ends with it; the next store's starts without the override
        m_store = startedManager(m_program);
        QCOMPARE(m_store->groups().size(), 3);
        const QString file = m_store->storageURL();
        const QString folder = QFileInfo(file).absolutePath();
        const QByteArray saved = readBytes(file);
        auto view = makeView();
        const auto confirmDelete = [&view](const QUuid &id) {
            view->requestDeleteGroup(id);
            ConfirmationAlert *alert = view->deleteConfirmation();
            QVERIFY(alert);
            clickWidget(alert->confirmButton());
        };
        const auto savedNames = [&file] {
            QStringList names;
            for (const AppGroup &group : GroupsJson::decode(readBytes(file)).value_or(QList<AppGroup>()))
                names.append(group.name);
            return names;
        };

        // The storage folder turns read-only: the window keeps the change and says the save failed.
        QVERIFY(setFolderWritable(folder, false));
        confirmDelete(home.id);
        QTRY_VERIFY_WITH_TIMEOUT(view->toast().has_value(), 20000);
        QCOMPARE(view->toast()->kind, AppToast::Kind::Error);
        QCOMPARE(view->toast()->text, localized(QStringLiteral("groups.saveError")));
        QCOMPARE(m_store->groups().size(), 2);
        QCOMPARE(readBytes(file), saved);

        // Once: the user dismisses it, and a second failed save says nothing more.
        clickWidget(view->findChild<ToastBanner *>());
        QTRY_VERIFY_WITH_TIMEOUT(!view->toast().has_value(), 20000);
        confirmDelete(work.id);
        QTRY_COMPARE_WITH_TIMEOUT(m_store->groups().size(), 1, 20000);
        m_store->waitUntilSaved();
        QCoreApplication::processEvents();
        QVERIFY(m_store->saveFailing());
        QCOMPARE(view->toast(), std::nullopt);
        QCOMPARE(readBytes(file), saved);

        // The next change, once the folder can be written again, saves everything that waited.
        QVERIFY(setFolderWritable(folder, true));
        const AppGroup later = addGroup(QStringLiteral("Later"));
        m_store->waitUntilSaved();
        QCOMPARE(savedNames(), QStringList({QStringLiteral("Play"), QStringLiteral("Later")}));
        QTRY_VERIFY_WITH_TIMEOUT(!m_store->saveFailing(), 20000);

        // Quitting saves what a failed save left unsaved.
        QVERIFY(setFolderWritable(folder, false));
        confirmDelete(later.id);
        QTRY_VERIFY_WITH_TIMEOUT(view->toast().has_value(), 20000);
        QVERIFY(setFolderWritable(folder, true));
        view.reset();
        m_store.reset();
        QCOMPARE(savedNames(), QStringList({QStringLiteral("Play")}));
    }

    void aDeletedGroupsTileTheDockKeepsIsToldToTheUser()
    {
        const QString projects = makeFolder(m_home + QStringLiteral("/Projects"));
        const AppGroup work = addGroup(QStringLiteral("Work"), {makeItem(QStringLiteral("file:") + projects, QStringLiteral("Projects"), projects)});
        bool synced = false;
        m_store->syncGroupToDock(work, true, nullptr, [&synced](bool ok) { synced = ok; });
        QTRY_VERIFY_WITH_TIMEOUT(synced, 20000);
        const QUrl folder = m_store->findMirrorFolder(work).value_or(QUrl());
        QVERIFY(DockService::isFolderInDock(folder));

        // The Dock refused a change before: the tile cannot go now.
        // The system refuses the program's changes of the Dock's list.
        std::optional<RefusedDockWrites> refused(std::in_place);
        auto view = makeView();
        view->requestDeleteGroup(work.id);
        ConfirmationAlert *alert = view->deleteConfirmation();
        QVERIFY(alert);
        clickWidget(alert->confirmButton());
        QTRY_VERIFY_WITH_TIMEOUT(m_store->groups().isEmpty(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(view->toast().has_value(), 20000);
        QCOMPARE(view->toast()->kind, AppToast::Kind::Warning);
        QCOMPARE(view->toast()->text, localized(QStringLiteral("main.dockTileLeftBehind")));
        QVERIFY(DockService::isFolderInDock(folder));
        refused.reset();
        DockService::clearSyncBlock();
    }

    // A right click on a card and "Delete" ask with the program's one confirmation: its title drawn
    // inside it, the short message on at most two lines, "Cancel" before "Delete", and the
    // destructive answer readable in either look.
    void deleteConfirmationFromTheCardsMenu_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("language");
        QTest::newRow("light") << false << QStringLiteral("en");
        QTest::newRow("dark") << true << QStringLiteral("en");
        QTest::newRow("light-ja") << false << QStringLiteral("ja");
    }

    void deleteConfirmationFromTheCardsMenu()
    {
        QFETCH(bool, dark);
        QFETCH(QString, language);
        applyLook(dark);
        LanguageManager::shared().setCurrentLanguage(language);
        const auto restore = qScopeGuard([] { LanguageManager::shared().setCurrentLanguage(QStringLiteral("en")); });
        const AppGroup work = addGroup(QStringLiteral("Work"));
        auto view = makeView();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        GroupCardView *card = view->gridPage()->grid()->cards().first();
        QTRY_VERIFY(card->isVisible());
        chooseFromNextMenu(localized(QStringLiteral("groupList.delete")));
        QTest::mouseClick(view->windowHandle(), Qt::RightButton, {}, card->mapTo(view.get(), QPoint(card->width() / 2, 16)));
        QTRY_VERIFY_WITH_TIMEOUT(view->deleteConfirmation() && view->deleteConfirmation()->isVisible(), 10000);
        ConfirmationAlert *alert = view->deleteConfirmation();
        QVERIFY2(lastMenuWasTheKits, "the card's menu is the kit's rounded menu");

        // The title names the group it asks about, in every language.
        QVERIFY2(alert->titleLabel()->text().contains(QStringLiteral("Work")), qPrintable(alert->titleLabel()->text()));
        QCOMPARE(alert->titleLabel()->text(), localizedFormat(QStringLiteral("groupList.deleteNamed"), {QStringLiteral("Work")}));
        // The kit's buttons, not the platform's grey push button beside a flat red one.
        QVERIFY(alert->findChildren<QPushButton *>().isEmpty());
        QVERIFY(qobject_cast<NVLXButton *>(alert->cancelButton()) && qobject_cast<NVLXButton *>(alert->confirmButton()));
        QVERIFY(alert->titleLabel()->isVisible());
        QVERIFY(alert->rect().contains(alert->titleLabel()->geometry()));
        QCOMPARE(alert->messageLabel()->text(), localized(QStringLiteral("editor.deleteConfirm")));
        QVERIFY(alert->messageLabel()->height() <= 2 * alert->messageLabel()->fontMetrics().lineSpacing() + 2);

        QAbstractButton *cancel = alert->cancelButton();
        QAbstractButton *remove = alert->confirmButton();
        QCOMPARE(cancel->text(), localized(QStringLiteral("picker.cancel")));
        QCOMPARE(remove->text(), localized(QStringLiteral("groupList.delete")));
        QVERIFY(cancel->geometry().right() < remove->geometry().left());
        QCOMPARE(cancel->y(), remove->y());
        const auto [fill, ink] = fillAndInk(remove->grab().toImage());
        QVERIFY2(contrastRatio(fill, ink) >= 4.5, qPrintable(QStringLiteral("%1 on %2").arg(ink.name(), fill.name())));

        QTest::mouseClick(cancel, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!view->deleteConfirmation(), 10000);
        QCOMPARE(m_store->groups().size(), 1);
        applyLook(false);
    }

    // The first-run words beside the New Group card and the Sync All label read at 4.5:1 or more
    // against what they are drawn on, in both looks, measured from the window's picture.
    void theGridsWordsReadInBothLooks()
    {
        const auto restore = qScopeGuard([] { applyLook(false); });
        for (const bool dark : {false, true}) {
            applyLook(dark);
            auto view = makeView();
            QVERIFY(QTest::qWaitForWindowExposed(view.get()));
            QWidget *empty = view->gridPage()->grid()->emptyState();
            QTRY_VERIFY(empty->isVisible());
            const QList<TokenLabel *> labels = empty->findChildren<TokenLabel *>();
            QCOMPARE(labels.size(), 2);
            for (TokenLabel *label : labels) {
                const double ratio = drawnTextContrast(label);
                QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1 (%2): %3").arg(label->text().left(20), dark ? "dark" : "light").arg(ratio)));
            }
            // Sync All is offered only with a group to sync.
            ToolbarButton *syncAll = view->gridPage()->syncAllButton();
            QVERIFY(!syncAll->isVisible());
            const AppGroup group = addGroup(QStringLiteral("Work"));
            QTRY_VERIFY(syncAll->isVisible());
            QCOMPARE(syncAll->text(), localized(QStringLiteral("main.syncAll")));
            const double ratio = drawnTextContrast(syncAll, 3);
            QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("Sync All (%1): %2").arg(dark ? "dark" : "light").arg(ratio)));
            m_store->setGroups({});
            QTRY_VERIFY(!syncAll->isVisible());
            Q_UNUSED(group);
        }
    }

    // In a large window the cards are wide: the New Group card and a group's card, grown under the
    // pointer, keep their whole outline (its left edge too) inside their own widget.
    void aWideCardsHoverOutlineStaysWhole()
    {
        const AppGroup group = addGroup(QStringLiteral("Work"));
        auto view = makeView();
        view->resize(1920, 1080);
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        GroupGrid *grid = view->gridPage()->grid();
        for (HoverCard *card : {static_cast<HoverCard *>(grid->newGroupCard()), static_cast<HoverCard *>(grid->card(group.id))}) {
            QTRY_VERIFY(card->isVisible() && card->width() > 600);
            QTest::mouseMove(card, card->rect().center());
            QTRY_VERIFY(card->isHovering() && card->currentScale() > 1.0);
            // Fully grown: the same growth at two looks in a row.
            qreal previous = 0;
            const auto settled = [card, &previous] { return std::exchange(previous, card->currentScale()) == card->currentScale(); };
            QTRY_VERIFY(settled());
            const QRectF grown = card->scaledRect(card->visualRect());
            QVERIFY2(QRectF(card->rect()).adjusted(1, 1, -1, -1).contains(grown),
                     qPrintable(QStringLiteral("%1..%2 in a card %3 wide").arg(grown.left()).arg(grown.right()).arg(card->width())));
            QTest::mouseMove(view.get(), QPoint(5, view->height() - 5));
            QTRY_VERIFY(!card->isHovering());
        }
    }

    // The cards' display-style badge ("Grid", "List", "Fan") reads at 4.5:1 or more on its pill.
    void theCardsStyleBadgeReadsInBothLooks()
    {
        const auto restore = qScopeGuard([] { applyLook(false); });
        AppGroup list = addGroup(QStringLiteral("Reading"));
        list.displayStyle = AppGroup::DisplayStyle::List;
        m_store->updateGroup(list);
        const AppGroup grid = addGroup(QStringLiteral("Work"));
        for (const bool dark : {false, true}) {
            applyLook(dark);
            auto view = makeView();
            QVERIFY(QTest::qWaitForWindowExposed(view.get()));
            for (const QUuid &id : {list.id, grid.id}) {
                GroupCardView *card = view->gridPage()->grid()->card(id);
                QVERIFY(card);
                QTRY_VERIFY(card->isVisible());
                const double ratio = drawnTextContrast(card, card->stylePillRect().toAlignedRect().adjusted(1, 1, -1, -1));
                QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1 (%2): %3").arg(card->group().name, dark ? "dark" : "light").arg(ratio)));
            }
        }
    }

    // The picker's search field shows that it has the keyboard as the kit's fields do: the bar
    // around it is outlined in the accent's focus colour, and plainly again once the focus leaves.
    void thePickersSearchFieldShowsItsFocus()
    {
        AppPickerView picker(m_apps, {});
        picker.resize(360, 420);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        QLineEdit *field = picker.searchField();
        QWidget *bar = field->parentWidget();
        const auto outlineIsAccent = [&picker, bar] {
            const QImage window = picker.grab().toImage();
            const qreal scale = window.devicePixelRatio();
            const QImage shot = window.copy(QRect(bar->mapTo(&picker, QPoint(0, 0)) * scale, bar->size() * scale));
            const QColor side = shot.pixelColor(QPoint(0, shot.height() / 2));
            const QColor top = shot.pixelColor(QPoint(shot.width() / 2, 0));
            return side.red() - side.blue() > 25 && top.red() - top.blue() > 25;
        };
        QTRY_VERIFY(field->hasFocus());
        QTRY_VERIFY_WITH_TIMEOUT(outlineIsAccent(), 5000);
        QTest::keyClick(field, Qt::Key_Tab);
        QTRY_VERIFY(!field->hasFocus());
        QTRY_VERIFY_WITH_TIMEOUT(!outlineIsAccent(), 5000);
        QTest::mouseClick(field, Qt::LeftButton);
        QTRY_VERIFY(field->hasFocus());
        QTRY_VERIFY_WITH_TIMEOUT(outlineIsAccent(), 5000);
    }

    // With the search field empty and focused, the caret stands before the placeholder's first
    // letter, not on it.
    void thePickersCaretStandsBeforeThePlaceholder()
    {
        AppPickerView picker(m_apps, {});
        picker.resize(360, 420);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        QLineEdit *field = picker.searchField();
        QTRY_VERIFY(field->hasFocus());
        QVERIFY(field->text().isEmpty());
        const QRect caret = field->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        // Away from the field the caret is not drawn: what is left of its line is the placeholder.
        QTest::keyClick(field, Qt::Key_Tab);
        QTRY_VERIFY(!field->hasFocus());
        // The field is drawn over its bar: the picture is the window's, cut to the field.
        const QImage window = picker.grab().toImage();
        const qreal scale = window.devicePixelRatio();
        const QImage picture =
            window.copy(QRect(field->mapTo(&picker, QPoint(0, 0)) * scale, field->size() * scale)).convertToFormat(QImage::Format_RGB32);
        const QColor background = picture.pixelColor(picture.width() - 2, picture.height() / 2);
        int inkLeft = -1;
        for (int x = 0; x < picture.width() && inkLeft < 0; ++x) {
            for (int y = 0; y < picture.height(); ++y) {
                const QColor c = picture.pixelColor(x, y);
                if (std::abs(c.red() - background.red()) + std::abs(c.green() - background.green()) + std::abs(c.blue() - background.blue()) > 60) {
                    inkLeft = x;
                    break;
                }
            }
        }
        QVERIFY2(inkLeft >= 0, "no placeholder drawn");
        // The reported cursor rectangle is the one-point caret widened evenly on both sides.
        const int caretX = (caret.left() + caret.right() + 1) / 2;
        QVERIFY2(inkLeft / scale >= caretX + 2,
                 qPrintable(QStringLiteral("placeholder ink at %1, caret at %2").arg(inkLeft / scale).arg(caretX)));
    }

    // The hint under a card's quick-add button keeps clear of the card's bottom edge: between its
    // lowest letters and the card's border lies a band of plain card fill.
    // Whether a group is in the Dock is never cut: in every language, "Sin sincronizar" beside
    // "5 elementos" and the style pill included, the state's text fits the box it is drawn in, and
    // the pill does not take its room.
    void cardSyncStateIsNeverCut()
    {
        QList<AppItem> five;
        for (int i = 1; i <= 5; ++i)
            five.append(app(QStringLiteral("com.example.App%1").arg(i)));
        const AppGroup work = addGroup(QStringLiteral("Work"), five);
        const QFontMetricsF metrics(SystemFont::font(11));
        for (const QString &language : {QStringLiteral("en"), QStringLiteral("es"), QStringLiteral("pt-BR"), QStringLiteral("ja"),
                                        QStringLiteral("zh-Hans")}) {
            LanguageManager::shared().setCurrentLanguage(language);
            auto view = makeView();
            QVERIFY(QTest::qWaitForWindowExposed(view.get()));
            GroupCardView *card = view->gridPage()->grid()->card(work.id);
            QTRY_VERIFY(card->isVisible());
            card->grab();
            QVERIFY(card->showsSyncState());
            const QString state = card->syncStateText();
            QCOMPARE(state, localized(card->showsSynced() ? QStringLiteral("groupCard.synced") : QStringLiteral("groupCard.notSynced")));
            const QRectF box = card->syncStateRect();
            QVERIFY2(metrics.horizontalAdvance(state) <= box.width() + 0.5,
                     qPrintable(QStringLiteral("%1: \"%2\" is %3 wide in %4").arg(language, state).arg(metrics.horizontalAdvance(state)).arg(box.width())));
            QVERIFY2(!box.intersects(card->stylePillRect()), qPrintable(language));
            QVERIFY(QRectF(card->rect()).contains(box));
        }
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
    }

    void quickAddHintKeepsClearOfTheCardsEdge_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void quickAddHintKeepsClearOfTheCardsEdge()
    {
        QFETCH(bool, dark);
        applyLook(dark);
        const AppGroup work = addGroup(QStringLiteral("Work"));
        auto view = makeView();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        GroupCardView *card = view->gridPage()->grid()->card(work.id);
        QTRY_VERIFY(card->isVisible());
        const QImage picture = card->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const qreal scale = picture.devicePixelRatio();
        const QRect button = card->quickAddButton()->geometry();
        // An empty group: beside the button, at its height, lies only the card's fill.
        const QColor fill = picture.pixelColor(int(card->width() / 2 * scale), int(button.center().y() * scale));
        const auto differs = [&](int x, int y) {
            const QColor c = picture.pixelColor(x, y);
            return std::abs(c.red() - fill.red()) + std::abs(c.green() - fill.green()) + std::abs(c.blue() - fill.blue()) > 6;
        };
        const int left = int(button.left() * scale);
        const int right = int((button.right() + 1) * scale);
        int lastHintRow = -1;
        int edgeRow = -1;
        for (int y = int((button.bottom() + 1) * scale); y < picture.height() && edgeRow < 0; ++y) {
            int count = 0;
            for (int x = left; x < right; ++x)
                count += differs(x, y) ? 1 : 0;
            if (count >= (right - left) * 9 / 10)
                edgeRow = y;
            else if (count > 0)
                lastHintRow = y;
        }
        QVERIFY2(lastHintRow >= 0, "no hint under the button");
        QVERIFY2(edgeRow >= 0, "no card edge under the hint");
        QVERIFY2(edgeRow - lastHintRow - 1 >= 8 * scale,
                 qPrintable(QStringLiteral("%1 rows between the hint and the card's edge").arg(edgeRow - lastHintRow - 1)));
        applyLook(false);
    }

    // While Sync All runs the button takes no clicks and counts the folders built; an empty group
    // (passed by: it has nothing to place) claims no Dock state once the button says "Synced".
    void syncAllShowsProgressAndLeavesEmptyGroupsUnclaimed()
    {
        for (const QString &name : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}) {
            const QString folder = makeFolder(m_home + QStringLiteral("/Folder ") + name);
            addGroup(name, {makeItem(QStringLiteral("file:") + folder, name, folder)});
        }
        addGroup(QStringLiteral("Empty"));
        auto view = makeView();
        ToolbarButton *button = view->gridPage()->syncAllButton();
        QStringList seen;
        QList<bool> enabled;
        connect(&view->actions(), &MainWindowActions::syncAllProgress, this, [&] {
            seen << button->text();
            enabled << button->isEnabled();
        });
        QSignalSpy done(view.get(), &MainView::syncAllDoneChanged);
        clickWidget(button);
        QVERIFY(!button->isEnabled());
        QVERIFY(button->text().startsWith(localized(QStringLiteral("editor.syncing"))));
        // A second click while it runs starts nothing.
        clickWidget(button);
        QVERIFY(done.wait(20000));
        const QString syncing = localized(QStringLiteral("editor.syncing"));
        // The counts keep the button's pace (syncAllCountKeepsItsOwnPace): each step shows one of
        // them, or the word alone before the first.
        QCOMPARE(seen.size(), 3);
        for (const QString &text : std::as_const(seen))
            QVERIFY2(text == syncing || (text.startsWith(syncing + u' ') && text.endsWith(QStringLiteral("/3"))), qPrintable(text));
        QCOMPARE(enabled, (QList<bool>{false, false, false}));
        QVERIFY(button->isEnabled());
        QCOMPARE(button->text(), localized(QStringLiteral("editor.synced")));
        for (GroupCardView *card : view->gridPage()->grid()->cards()) {
            card->repaint();
            if (card->group().apps.isEmpty())
                QVERIFY(!card->showsSyncState());
            else
                QVERIFY(card->showsSyncState() && card->showsSynced());
        }
    }

    // A sync of hundreds of groups counts faster than anyone reads: the button shows the first
    // count at once and then the latest at its own pace, not a repaint of the bar for every folder,
    // and the last count still shows before the sync ends.
    void syncAllCountKeepsItsOwnPace()
    {
        auto view = makeView();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        GroupGridPage *page = view->gridPage();
        ToolbarButton *button = page->syncAllButton();
        int paints = 0;
        EventCounter counter(button, QEvent::Paint, &paints);
        const QString syncing = localized(QStringLiteral("editor.syncing"));
        QElapsedTimer counting;
        counting.start();
        constexpr int folders = 300;
        for (int done = 1; done <= folders; ++done) {
            page->setSyncAllProgress(done, folders);
            // A turn of the event loop between folders, as a sync gives the window.
            QCoreApplication::processEvents();
            if (done == 1)
                QCOMPARE(button->text(), syncing + QStringLiteral(" 1/300"));
        }
        const qint64 elapsed = counting.elapsed();
        QVERIFY2(paints <= 2 + elapsed / GroupGridPage::progressShownMs,
                 qPrintable(QStringLiteral("%1 paints in %2 ms").arg(paints).arg(elapsed)));
        QTRY_COMPARE(button->text(), syncing + QStringLiteral(" 300/300"));
        page->finishSyncAll();
        const QString finished = button->text();
        QVERIFY(!finished.startsWith(syncing));
        // Nothing that waited for the pace comes back once the sync has ended.
        QTest::qWait(2 * GroupGridPage::progressShownMs);
        QCOMPARE(button->text(), finished);
    }

    // The grid is drawn before any group icon is composed; then the icons of the cards on screen
    // are composed, and those of cards scrolled out of sight are not.
    void groupIconsAreComposedAfterTheFirstFrameAndOnlyOnScreen()
    {
        for (int i = 0; i < 12; ++i) {
            const QString folder = makeFolder(m_home + QStringLiteral("/Icons %1").arg(i));
            addGroup(QStringLiteral("Group %1").arg(i), {makeItem(QStringLiteral("file:") + folder, QStringLiteral("F"), folder)});
        }
        auto view = makeView();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        const QList<GroupCardView *> cards = view->gridPage()->grid()->cards();
        const QImage firstFrame = view->grab().toImage();
        QVERIFY(!firstFrame.isNull());
        QList<GroupCardView *> onScreen;
        QList<GroupCardView *> offScreen;
        for (GroupCardView *card : cards)
            (card->iconView()->visibleRegion().isEmpty() ? offScreen : onScreen) << card;
        QVERIFY(!onScreen.isEmpty());
        QVERIFY(!offScreen.isEmpty());
        for (GroupCardView *card : onScreen) {
            QCOMPARE(card->iconView()->compositionCount(), 0);
            // The strip's item pictures come with the icons, after the first frame.
            for (const CompactItemThumbnail *thumbnail : card->findChildren<CompactItemThumbnail *>())
                QVERIFY(!thumbnail->drawsPicture());
        }
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(onScreen.cbegin(), onScreen.cend(),
                                             [](GroupCardView *card) { return card->iconView()->isComposed(); }),
                                 10000);
        for (GroupCardView *card : onScreen) {
            for (const CompactItemThumbnail *thumbnail : card->findChildren<CompactItemThumbnail *>()) {
                if (!thumbnail->visibleRegion().isEmpty())
                    QTRY_VERIFY_WITH_TIMEOUT(thumbnail->drawsPicture(), 10000);
            }
        }
        QVERIFY(view->grab().toImage() != firstFrame);
        for (GroupCardView *card : offScreen)
            QCOMPARE(card->iconView()->compositionCount(), 0);
    }

    // However narrow the card (Portuguese's wide "Adicionar" column at the window's narrowest), the
    // count of the items without a thumbnail is drawn.
    void theCountOfHiddenItemsIsDrawnOnANarrowCard()
    {
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("pt-BR"));
        QList<AppItem> many;
        for (int i = 0; i < 12; ++i)
            many.append(app(QStringLiteral("com.example.app") + QString::number(i)));
        const AppGroup twelve = addGroup(QStringLiteral("Twelve"), many);
        const AppGroup six = addGroup(QStringLiteral("Six"), many.first(6));
        auto view = makeView();
        view->resize(view->minimumSize().expandedTo(QSize(1, 1)));
        for (const auto &[group, hidden] : {std::pair{twelve, 12}, std::pair{six, 6}}) {
            GroupCardView *card = view->gridPage()->grid()->card(group.id);
            QTRY_VERIFY(card->isVisible() && card->width() <= 300);
            const QRect tile = card->overflowTileRect();
            QVERIFY2(!tile.isEmpty(), qPrintable(group.name));
            const QRect button = card->quickAddButton()->geometry();
            QVERIFY2(tile.right() < button.left() && card->rect().contains(tile), qPrintable(group.name));
            // The count with the thumbnails shown makes up the whole group.
            int thumbnails = 0;
            for (auto *thumbnail : card->findChildren<CompactItemThumbnail *>())
                if (thumbnail->isVisible()) {
                    ++thumbnails;
                    QVERIFY(thumbnail->geometry().right() < tile.left());
                }
            QCOMPARE(card->overflowText(), u'+' + QString::number(hidden - thumbnails));
            if (hidden == 6)
                QVERIFY(thumbnails < 6);

            // Drawn: the tile's fill differs from the card around it, and the count's strokes from the fill.
            const QImage image = card->grab().toImage();
            const QColor fill = image.pixelColor(tile.left() + 4, tile.center().y());
            const QColor around = image.pixelColor(tile.left() + 4, tile.top() - 4);
            QVERIFY2(fill != around, qPrintable(group.name));
            int strokes = 0;
            for (int y = tile.top() + 6; y < tile.bottom() - 6; ++y)
                for (int x = tile.left() + 6; x < tile.right() - 6; ++x)
                    if (qGray(image.pixel(x, y)) < qGray(fill.rgb()) - 60)
                        ++strokes;
            QVERIFY2(strokes >= 8, qPrintable(group.name + ": " + QString::number(strokes)));
        }
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("system"));
    }

    // A first-time user's empty grid says what a group is and where to start, in every language,
    // beside the new-group card and inside its row; the first group takes its place.
    void theEmptyGridTellsWhereToStart()
    {
        auto view = makeView();
        view->resize(view->minimumSize());
        GroupGrid *grid = view->gridPage()->grid();
        QWidget *empty = grid->emptyState();
        QTRY_VERIFY(empty->isVisible());
        QCOMPARE(empty->geometry().top(), grid->newGroupCard()->geometry().top() + HoverCard::bleed);
        QVERIFY(empty->geometry().left() > grid->newGroupCard()->geometry().right() - 2 * HoverCard::bleed);
        auto *title = empty->findChild<QLabel *>("emptyTitle");
        auto *hint = empty->findChild<QLabel *>("emptyHint");
        for (const QString language : {"en", "es", "ja", "pt-BR", "zh-Hans"}) {
            LanguageManager::shared().setCurrentLanguage(language);
            QCOMPARE(title->text(), localized(QStringLiteral("groupList.emptyTitle")));
            QCOMPARE(hint->text(), localized(QStringLiteral("groupList.emptyHint")));
            // It names the card it points to (as read, without the zero-width break marks), and its
            // lines fit the card's height.
            QVERIFY2(LineBreaking::visibleText(hint->text()).contains(localized(QStringLiteral("groupList.newGroup"))),
                     qPrintable(language));
            QVERIFY2(title->sizeHint().height() + 4 + hint->heightForWidth(hint->width()) <= GroupGrid::cardHeight,
                     qPrintable(language));
        }
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("system"));
        addGroup(QStringLiteral("Work"));
        QTRY_VERIFY(!empty->isVisible());
        view->actions().deleteGroup(m_store->groups().first().id);
        QTRY_VERIFY_WITH_TIMEOUT(empty->isVisible(), 20000);
    }

    // Sync All leaves the window to the user: every folder's links, web-link files, own files and
    // the records of what was made in them are written beside the main thread, which only hears
    // that each folder is ready, and the Dock learns of the folders once they stand.
    void syncAllMakesTheFoldersEntriesBesideTheWindow()
    {
        const QString projects = makeFolder(m_home + QStringLiteral("/Projects"));
        const QString notes = makeFolder(m_home + QStringLiteral("/Notes"));
        constexpr int groups = 12;
        for (int n = 0; n < groups; ++n) {
            addGroup(QStringLiteral("Group %1").arg(n),
                     {makeItem(QStringLiteral("file:") + projects, QStringLiteral("Projects"), projects),
                      makeItem(QStringLiteral("file:") + notes, QStringLiteral("Notes"), notes),
                      makeItem(QStringLiteral("https://example.org/%1").arg(n), QStringLiteral("Board"),
                               QStringLiteral("https://example.org/%1").arg(n))});
        }
        auto view = makeView();
        QSignalSpy done(view.get(), &MainView::syncAllDoneChanged);
        MainThreadFileLooks::watch(appSupportDirectoryURL());
        clickWidget(view->gridPage()->syncAllButton());
        const bool finished = done.wait(30000);
        MainThreadFileLooks::stop();
        QVERIFY(finished);
        QVERIFY(view->syncAllDone());
        for (const AppGroup &group : m_store->groups()) {
            const std::optional<QUrl> found = m_store->findMirrorFolder(group);
            QVERIFY2(found, qPrintable(group.name));
            const QString folder = QDir::cleanPath(found->toLocalFile());
            QVERIFY(QFileInfo(folder + QStringLiteral("/Projects")).isSymLink());
            QVERIFY(QFileInfo(folder + QStringLiteral("/Notes")).isSymLink());
            QVERIFY(QFileInfo(folder + QStringLiteral("/Board.webloc")).isFile());
            QVERIFY(QFileInfo(folder + u'/' + MirrorFolders::groupIDFileName).isFile());
            QVERIFY(DockService::isFolderInDock(*found));
        }
        QVERIFY2(MainThreadFileLooks::made() == 0,
                 qPrintable(QStringLiteral("%1 entries made on the main thread: %2")
                                .arg(MainThreadFileLooks::made())
                                .arg(MainThreadFileLooks::madeExamples().join(QStringLiteral(", ")))));
    }

    void syncAllMarksOnlyASuccess()
    {
        const QString projects = makeFolder(m_home + QStringLiteral("/Projects"));
        addGroup(QStringLiteral("Work"), {makeItem(QStringLiteral("file:") + projects, QStringLiteral("Projects"), projects)});
        auto view = makeView();
        GroupCardView *card = view->gridPage()->grid()->cards().first();
        QTRY_VERIFY(!card->showsSynced() && card->isVisible());
        QSignalSpy done(view.get(), &MainView::syncAllDoneChanged);
        clickWidget(view->gridPage()->syncAllButton());
        QVERIFY(done.wait(20000));
        QVERIFY(view->syncAllDone());
        // The card says so at once, though the store did not change.
        QTRY_VERIFY(card->showsSynced());
        QCOMPARE(view->gridPage()->syncAllButton()->text(), localized(QStringLiteral("editor.synced")));
        QVERIFY(done.wait(20000));
        QVERIFY(!view->syncAllDone());
        QCOMPARE(view->gridPage()->syncAllButton()->text(), localized(QStringLiteral("main.syncAll")));
        QCOMPARE(view->toast(), std::nullopt);

        // The system refuses the program's changes of the Dock's list.
        std::optional<RefusedDockWrites> refused(std::in_place);
        AppGroup changed = m_store->groups().first();
        changed.name = QStringLiteral("Other");
        m_store->updateGroup(changed);
        view->startSyncAll();
        QTRY_VERIFY_WITH_TIMEOUT(view->toast().has_value(), 20000);
        QCOMPARE(view->toast()->kind, AppToast::Kind::Error);
        QCOMPARE(view->toast()->text, localized(QStringLiteral("main.syncAllBlocked")));
        QVERIFY(!view->syncAllDone());
    }

    void loadErrorPresentAtStartIsShown()
    {
        writeBytes(appSupportDirectoryURL() + u'/' + GroupManager::groupsFileName, "{ not json");
        m_store = startedManager(m_program);
        QVERIFY(m_store->loadError());
        auto view = makeView();
        QVERIFY(view->toast());
        QCOMPARE(view->toast()->kind, AppToast::Kind::Warning);
        QCOMPARE(view->toast()->text, *m_store->loadError());
        // The store keeps it: it guards the mirror folders until a good file exists.
        QVERIFY(m_store->loadError());
    }
    // A window of many groups is drawn with the cards in sight; the others follow after the first
    // frame unasked, and are cards like the first: wheeled into sight, read out, walked by Tab in
    // grid order before the bottom bar, and opened with Return.
    void cardsOutOfSightComeAfterTheFirstFrame()
    {
        QList<AppGroup> groups;
        for (int i = 0; i < 40; ++i) {
            AppGroup group = m_store->createGroup();
            group.name = QStringLiteral("Group %1").arg(i + 1);
            group.apps = {app(QStringLiteral("com.example.tool") + QString::number(i))};
            groups.append(group);
        }
        m_store->setGroups(groups);
        auto view = makeView();
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        GroupGrid *grid = view->gridPage()->grid();
        QTRY_COMPARE_WITH_TIMEOUT(grid->findChildren<GroupCardView *>().size(), groups.size(), 20000);

        // The last group's cell is the first of the grid's last row.
        QScrollArea *scroll = view->gridPage()->scrollArea();
        QScrollBar *bar = scroll->verticalScrollBar();
        QWidget *viewport = scroll->viewport();
        for (int turn = 0; turn < 500 && bar->value() < bar->maximum(); ++turn) {
            const QPointF at = viewport->rect().center();
            QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &wheel);
        }
        QCOMPARE(bar->value(), bar->maximum());
        const int lastRow = int(groups.size()) / GroupGrid::columns;
        const QPoint lastCell(GroupGrid::padding + 20, GroupGrid::padding + lastRow * (GroupGrid::cardHeight + GroupGrid::spacing) + 20);
        QVERIFY(viewport->rect().contains(grid->mapTo(viewport, lastCell)));
        QWidget *hit = grid->childAt(lastCell);
        while (hit && !qobject_cast<GroupCardView *>(hit))
            hit = hit->parentWidget();
        auto *last = qobject_cast<GroupCardView *>(hit);
        QVERIFY(last);
        QCOMPARE(last->group().id, groups.last().id);
        QVERIFY(!last->visibleRegion().isEmpty());

        QAccessibleInterface *gridAccessible = QAccessible::queryAccessibleInterface(grid);
        QVERIFY(gridAccessible);
        QStringList spoken;
        for (int i = 0; i < gridAccessible->childCount(); ++i)
            spoken << gridAccessible->child(i)->text(QAccessible::Name);
        QVERIFY(spoken.contains(last->accessibleName()));
        QVERIFY(last->accessibleName().contains(groups.last().name));

        grid->newGroupCard()->setFocus();
        for (const AppGroup &group : std::as_const(groups)) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            auto *focused = qobject_cast<GroupCardView *>(QApplication::focusWidget());
            QVERIFY2(focused && focused->group().id == group.id, qPrintable(group.name));
            QVERIFY2(!focused->visibleRegion().isEmpty(), qPrintable(group.name));
            QTest::keyClick(focused, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), focused->quickAddButton());
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), view->gridPage()->settingsButton());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), last);
        QTest::keyClick(last, Qt::Key_Return);
        QCOMPARE(view->currentPage(), DetailPage::group(groups.last().id));
    }
};

KESTROWAN_TEST_MAIN(TestMainView)
#include "tst_mainview.moc"
