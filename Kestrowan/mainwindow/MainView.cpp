#include "Kestrowan/mainwindow/MainView.h"

#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/mainwindow/AppPickerView.h"
#include "Kestrowan/mainwindow/DockAppPickerView.h"
#include "Kestrowan/mainwindow/GroupGrid.h"
#include "Kestrowan/mainwindow/GroupGridPage.h"
#include "Kestrowan/mainwindow/InstalledAppsServiceInterface.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "Kestrowan/mainwindow/MainWindowActions.h"
#include "Kestrowan/mainwindow/PageHost.h"
#include "Kestrowan/mainwindow/PickerSheet.h"
#include "Kestrowan/mainwindow/StandInPage.h"
#include "Kestrowan/mainwindow/ToolbarButton.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/shell/Log.h"
#include "Kestrowan/shell/SheetFit.h"
#include "Kestrowan/shell/AppToastModifier.h"
#include "Kestrowan/shell/DialogPresentation.h"
#include "Kestrowan/shell/OpenPanelColumns.h"
#include "Platform/UserDefaults.h"
#include "analytics/NVLXAnalytics.h"

#include <QDialog>
#include <QHideEvent>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QDir>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// The open panel's size inside a window that has room for it.
constexpr QSize openPanelSize(580, 420);

// A load error is shown once per run, however often the window is built again: the store keeps
// it (it guards the mirror folders until a good file exists), the user needs to read it once.
QString &shownLoadError()
{
    static QString text;
    return text;
}

} // namespace

MainView::MainView(GroupManager &store, InstalledAppsServiceInterface &appsService, AppNavigation &navigation,
                   SkinManager *skinManager, QWidget *parent, MainViewFactories factories)
    : QWidget(parent)
    , m_store(store)
    , m_appsService(appsService)
    , m_navigation(navigation)
    , m_skinManager(skinManager)
    , m_factories(std::move(factories))
    , m_actions(new MainWindowActions(store, skinManager, this))
    , m_pages(new PageHost(this))
    , m_gridPage(new GroupGridPage(store, skinManager))
    , m_toast(new AppToastModifier(this))
{
    setMinimumSize(600, 400);
    m_pages->setPage(m_gridPage, PageHost::Edge::Leading, false, false);

    GroupGrid *grid = m_gridPage->grid();
    connect(grid, &GroupGrid::newGroupTapped, this, &MainView::openDraftPage);
    connect(grid, &GroupGrid::groupTapped, this, &MainView::openGroupPage);
    connect(grid, &GroupGrid::pickDockApps, this, &MainView::presentDockAppsPicker);
    connect(grid, &GroupGrid::pickApps, this, &MainView::presentInstalledAppsPicker);
    connect(grid, &GroupGrid::pickFiles, this, [this](const QUuid &id) { runOpenPanel(id, false); });
    connect(grid, &GroupGrid::pickFolders, this, [this](const QUuid &id) { runOpenPanel(id, true); });
    connect(grid, &GroupGrid::deleteRequested, this, &MainView::requestDeleteGroup);
    connect(m_gridPage->settingsButton(), &QAbstractButton::clicked, this, &MainView::openSettingsPage);
    connect(m_gridPage->syncAllButton(), &QAbstractButton::clicked, this, &MainView::startSyncAll);

    connect(m_actions, &MainWindowActions::syncAllProgress, m_gridPage, &GroupGridPage::setSyncAllProgress);
    connect(m_actions, &MainWindowActions::notice, this, [this](const std::optional<AppToast> &toast) {
        if (toast)
            showToast(*toast);
        else if (m_toast->toast() && m_toast->toast()->kind == AppToast::Kind::Info)
            m_toast->setToast(std::nullopt);
    });
    connect(m_actions, &MainWindowActions::syncAllFinished, this, [this](bool synced, const QString &message) {
        m_gridPage->finishSyncAll();
        // Some groups may be in the Dock now even when others failed.
        m_gridPage->grid()->refreshSyncStates();
        if (!synced)
            return showToast({AppToast::Kind::Error, message});
        setSyncAllDone(true);
        // Overlapping runs share the mark: the first run to clear it ends it.
        QTimer::singleShot(syncDoneMarkMilliseconds, this, [this] { setSyncAllDone(false); });
    });

    // A rebuilt window starts on the grid and says so, so that a later route to the page an
    // earlier window showed is a change and is followed.
    m_navigation.setSelectedPage(std::nullopt);
    connect(&m_navigation, &AppNavigation::selectedPageChanged, this, &MainView::followNavigationPage);
    connect(&m_store, &GroupManager::groupsChanged, this, [this] {
        // The group of the page on screen may be gone: the grid takes its place at once.
        if (m_currentPage && m_currentPage->kind == DetailPage::Kind::Group)
            showCurrentPage(false);
    });
    connect(&m_store, &GroupManager::loadErrorChanged, this, &MainView::showLoadError);
    connect(&m_store, &GroupManager::saveFailingChanged, this, &MainView::showSaveFailure);
    connect(&UserDefaults::standard(), &UserDefaults::saveFailingChanged, this, &MainView::showSettingsSaveFailure);
    connect(&UserDefaults::standard(), &UserDefaults::storedFileUnreadableChanged, this, &MainView::showSettingsLoadError);
    connect(&m_store, &GroupManager::dockTilesLeftBehind, this, [this] {
        showToast({AppToast::Kind::Warning, localized(QStringLiteral("main.dockTileLeftBehind"))});
    });
    // Told from the event loop: the folders one sweep keeps are named together, not each over the last.
    connect(&m_store, &GroupManager::foldersKeptForUserFiles, this, &MainView::showFoldersKeptForUserFiles, Qt::QueuedConnection);
    connect(&m_store, &GroupManager::changedHereAndElsewhere, this, [this](const QStringList &names) {
        showToast({AppToast::Kind::Warning, names.size() == 1
                                                ? localizedFormat(QStringLiteral("groups.changedElsewhere"), {names.first()})
                                                : localizedFormat(QStringLiteral("groups.changedElsewhere.many"), {names.size()})});
    });
    connect(&UserDefaults::standard(), &UserDefaults::valueChanged, this, [this](const QString &key) {
        if (key == didCompleteOnboardingKey)
            refreshOnboardingGate();
    });
    refreshOnboardingGate();
    showLoadError();
    showSaveFailure();
    showSettingsSaveFailure();
    showSettingsLoadError();
}

MainView::~MainView() = default;

bool MainView::isShowingOnboarding() const
{
    return m_onboarding != nullptr;
}

QWidget *MainView::shownPage() const
{
    return m_pages->page();
}

std::optional<AppToast> MainView::toast() const
{
    return m_toast->toast();
}

void MainView::refreshOnboardingGate()
{
    const bool completed = UserDefaults::standard().boolean(didCompleteOnboardingKey, false);
    if (completed) {
        if (m_onboarding)
            m_onboarding->deleteLater();
        m_onboarding = nullptr;
        m_pages->show();
        return;
    }
    if (m_onboarding)
        return;
    // Finishing and skipping end the first run the same way.
    const auto finish = [self = QPointer<MainView>(this)] {
        if (self)
            self->completeOnboarding();
    };
    const auto &factory = m_factories.onboarding;
    m_onboarding = factory ? factory(finish, finish) : StandInPage::onboarding(finish);
    m_onboarding->setParent(this);
    m_onboarding->setGeometry(rect());
    m_onboarding->show();
    m_pages->hide();
    update();
}

void MainView::completeOnboarding()
{
    m_currentPage.reset();
    m_navigation.setSelectedPage(std::nullopt);
    showCurrentPage(false);
    UserDefaults::standard().setValue(didCompleteOnboardingKey, true);
    refreshOnboardingGate();
    emit onboardingCompleted();
}

void MainView::setCurrentPage(const std::optional<DetailPage> &page, bool animated)
{
    if (page == m_currentPage)
        return;
    m_currentPage = page;
    showCurrentPage(animated);
    if (m_navigation.selectedPage() != m_currentPage)
        m_navigation.setSelectedPage(m_currentPage);
    emit currentPageChanged();
}

void MainView::followNavigationPage()
{
    if (m_navigation.selectedPage() != m_currentPage)
        setCurrentPage(m_navigation.selectedPage(), true);
}

void MainView::closeDetailPage()
{
    setCurrentPage(std::nullopt, true);
}

void MainView::openGroupPage(const QUuid &groupID)
{
    setCurrentPage(DetailPage::group(groupID), true);
}

void MainView::openDraftPage()
{
    setCurrentPage(DetailPage::groupDraft(), true);
}

void MainView::openSettingsPage()
{
    NVLXAnalytics::signal(QStringLiteral("settings.opened"));
    setCurrentPage(DetailPage::settings(), true);
}

QWidget *MainView::makeDetailPage(const DetailPage &page)
{
    const auto back = [self = QPointer<MainView>(this)] {
        if (self)
            self->closeDetailPage();
    };
    const MainViewFactories &factories = m_factories;
    switch (page.kind) {
    case DetailPage::Kind::Group:
        if (const std::optional<AppGroup> group = m_actions->group(page.groupID))
            return factories.groupEditor ? factories.groupEditor(*group, false, back) : StandInPage::detail(group->name, back);
        return nullptr;
    case DetailPage::Kind::GroupDraft: {
        AppGroup draft;
        draft.id = QUuid::createUuid();
        return factories.groupEditor ? factories.groupEditor(draft, true, back)
                                     : StandInPage::detail(localized(QStringLiteral("groupList.newGroup")), back);
    }
    case DetailPage::Kind::Settings:
        return factories.settings ? factories.settings(back) : StandInPage::detail(localized(QStringLiteral("settings.title")), back);
    }
    return nullptr;
}

void MainView::showCurrentPage(bool animated)
{
    const bool hasPage = m_currentPage && (m_currentPage->kind != DetailPage::Kind::Group || m_actions->group(m_currentPage->groupID));
    if (hasPage) {
        // The same page stays; another one (another group's included) is built afresh.
        if (m_detailWidget && m_detailShown == m_currentPage)
            return;
        QWidget *detail = makeDetailPage(*m_currentPage);
        m_pages->setPage(detail, PageHost::Edge::Trailing, animated, m_pages->page() != m_gridPage);
        m_detailWidget = detail;
        m_detailShown = m_currentPage;
        return;
    }
    if (m_pages->page() == m_gridPage)
        return;
    // A group that went away leaves the grid at once; going back slides.
    const bool vanished = m_currentPage.has_value();
    m_pages->setPage(m_gridPage, PageHost::Edge::Leading, animated && !vanished, true);
    m_detailWidget = nullptr;
    m_detailShown.reset();
}

void MainView::presentPicker(const QUuid &groupID, const std::function<StagedPicker *(const AppGroup &)> &makePicker)
{
    // The sheet edits the group it was opened for, found by id now and again when it commits.
    const std::optional<AppGroup> group = m_actions->group(groupID);
    if (!group) {
        m_sheet = openSheet(this, StandInPage::missingGroup(), QSize(320, 200));
        return;
    }
    QPointer<MainWindowActions> actions(m_actions);
    m_sheet = openPickerSheet(this, makePicker(*group), QSize(360, 420), false,
                              [actions, groupID](const std::optional<QList<AppItem>> &apps) {
        if (apps && actions)
            actions->replaceGroupApps(groupID, *apps);
    });
}

void MainView::presentInstalledAppsPicker(const QUuid &groupID)
{
    presentPicker(groupID, [this](const AppGroup &group) { return new AppPickerView(m_appsService, group.apps); });
}

void MainView::presentDockAppsPicker(const QUuid &groupID)
{
    presentPicker(groupID, [](const AppGroup &group) { return new DockAppPickerView(group.apps); });
}

void MainView::runOpenPanel(const QUuid &groupID, bool folders)
{
    auto *panel = new QFileDialog(this);
    // The program's own chooser: one that it can put above its window and give the keyboard.
    useOwnFileDialog(panel);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    // The panel chooses what is there; it makes, renames and deletes nothing (no "New Folder").
    panel->setOption(QFileDialog::ReadOnly);
    if (auto *newFolder = panel->findChild<QWidget *>(QStringLiteral("newFolderButton")))
        newFolder->hide();
    panel->setWindowModality(Qt::WindowModal);
    fitSheetToWindow(panel, this, openPanelSize, true);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    const QString prompt = localized(folders ? QStringLiteral("picker.chooseFolders") : QStringLiteral("picker.chooseItems"));
    // Titled for what it does, not a stock "Open" or "Find Directory".
    panel->setWindowTitle(localized(folders ? QStringLiteral("editor.openPanel.foldersTitle") : QStringLiteral("editor.openPanel.filesTitle")));
    panel->setLabelText(QFileDialog::Accept, prompt);
    panel->setDirectory(QDir::homePath());
    if (folders) {
        panel->setFileMode(QFileDialog::Directory);
        panel->setOption(QFileDialog::ShowDirsOnly);
        // The directory mode chooses one folder; the views are told to take several.
        for (QAbstractItemView *view : panel->findChildren<QAbstractItemView *>(QStringLiteral("listView")))
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        for (QAbstractItemView *view : panel->findChildren<QAbstractItemView *>(QStringLiteral("treeView")))
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    } else {
        panel->setFileMode(QFileDialog::ExistingFiles);
    }
    connect(panel, &QDialog::accepted, this, [this, panel, groupID] {
        const QList<QUrl> urls = panel->selectedUrls();
        if (!urls.isEmpty())
            m_actions->addURLsToGroup(urls, groupID);
    });
    m_openPanel = panel;
    localizeOpenPanel(panel);
    keepOpenPanelColumnsWhole(panel);
    presentAboveWindow(panel);
}

void MainView::requestDeleteGroup(const QUuid &groupID)
{
    const std::optional<AppGroup> group = m_actions->group(groupID);
    auto *alert = new ConfirmationAlert(ConfirmationAlert::deleteGroupTitle(group ? group->name : QString()),
                                        localized(QStringLiteral("editor.deleteConfirm")),
                                        localized(QStringLiteral("groupList.delete")), this);
    alert->setObjectName(QStringLiteral("deleteGroupAlert"));
    connect(alert, &ConfirmationAlert::confirmed, this, [this, groupID] { m_actions->deleteGroup(groupID); });
    m_confirmation = alert;
    presentAboveWindow(alert);
}

void MainView::startSyncAll()
{
    // One run at a time from the button: it shows the run's progress until it ends.
    if (m_actions->isSyncingAll())
        return;
    m_gridPage->setSyncAllProgress(0, 0);
    m_actions->syncAll();
}

void MainView::setSyncAllDone(bool done)
{
    if (done == m_syncAllDone)
        return;
    m_syncAllDone = done;
    m_gridPage->setSyncAllDone(done);
    emit syncAllDoneChanged();
}

void MainView::showFoldersKeptForUserFiles()
{
    // A window out of sight (closed to the menu bar) tells nobody: the folders wait in the store
    // until it is shown.
    if (!isVisible())
        return;
    const QStringList folders = m_store.takeFoldersKeptForUserFiles();
    if (folders.isEmpty())
        return;
    QStringList shown;
    for (const QString &folder : folders)
        shown.append(QDir::toNativeSeparators(folder));
    // Each folder whole: a path cut short names no place the user can find.
    const QString key = folders.size() == 1 ? QStringLiteral("groups.userFilesKept") : QStringLiteral("groups.userFilesKeptMany");
    showToast({AppToast::Kind::Warning, localizedFormat(key, {shown.join(QStringLiteral(", "))}), true});
}

void MainView::showToast(const AppToast &toast)
{
    m_toast->setToast(toast);
}

void MainView::showLoadError()
{
    const std::optional<QString> error = m_store.loadError();
    if (!error || *error == shownLoadError())
        return;
    shownLoadError() = *error;
    qCInfo(appLogger, "Showing the groups file's load error");
    showToast({AppToast::Kind::Warning, *error});
}

void MainView::showSaveFailure()
{
    // Once for each run of failed saves: every later change tries again, and says nothing more
    // until a save has reached the file and another fails.
    if (m_store.saveFailing())
        showToast({AppToast::Kind::Error, localized(QStringLiteral("groups.saveError"))});
}

void MainView::showSettingsSaveFailure()
{
    // As for the groups: once for each run of failed writes of the settings file.
    if (UserDefaults::standard().saveFailing())
        showToast({AppToast::Kind::Error, localized(QStringLiteral("settings.saveError"))});
}

void MainView::showSettingsLoadError()
{
    // Once each time the settings file turns unreadable: its values are not in effect, and the user
    // would otherwise find every setting back at its default without a word.
    if (UserDefaults::standard().storedFileUnreadable())
        showToast({AppToast::Kind::Warning, localized(QStringLiteral("settings.loadError"))});
}

void MainView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_onScreen) {
        m_onScreen = true;
        m_appsService.refreshInstalledApps();
    }
    showFoldersKeptForUserFiles();
}

void MainView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        m_onScreen = false;
}

void MainView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_pages->setGeometry(rect());
    if (m_onboarding)
        m_onboarding->setGeometry(rect());
}

void MainView::paintEvent(QPaintEvent *)
{
    // The onboarding draws its own background.
    if (!m_onboarding)
        QPainter(this).fillRect(rect(), AppColors::bg.resolve(this));
}
