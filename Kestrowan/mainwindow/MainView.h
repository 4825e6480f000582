#pragma once

#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "Kestrowan/shell/AppToast.h"
#include "Kestrowan/shell/ConfirmationAlert.h"
#include "Kestrowan/shell/DetailPage.h"

#include <QDialog>
#include <QFileDialog>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <functional>

#include <optional>

class AppNavigation;
class GroupGridPage;
class GroupManager;
class InstalledAppsServiceInterface;
class MainWindowActions;
class PageHost;
class SkinManager;
class StagedPicker;
class AppToastModifier;

// The main window's root view: the first-run onboarding until it is completed, then one page at a
// time (the group grid, a group's editor, a new group's editor, the settings), kept in step with the
// application-wide navigation in both directions. It also carries the grid's actions: the quick-add
// sheets and open panels, the delete confirmation, sync all with its done mark, and the toasts.
class MainView final : public QWidget {
    Q_OBJECT
public:
    static inline const QString didCompleteOnboardingKey = QStringLiteral("didCompleteOnboarding");
    static constexpr int syncDoneMarkMilliseconds = 2000;

    // The pages other parts give come from `factories` (the process-wide ones unless given).
    MainView(GroupManager &store, InstalledAppsServiceInterface &appsService, AppNavigation &navigation,
             SkinManager *skinManager, QWidget *parent = nullptr, MainViewFactories factories = MainViewFactories::shared());
    ~MainView() override;

    std::optional<DetailPage> currentPage() const { return m_currentPage; }
    bool isShowingOnboarding() const;
    GroupGridPage *gridPage() const { return m_gridPage; }
    // The page widget on screen (the grid page, an editor, the settings).
    QWidget *shownPage() const;
    MainWindowActions &actions() const { return *m_actions; }
    bool syncAllDone() const { return m_syncAllDone; }
    std::optional<AppToast> toast() const;
    // The open sheet, panel or confirmation, if any (tests drive them).
    QDialog *quickAddSheet() const { return m_sheet; }
    QFileDialog *openPanel() const { return m_openPanel; }
    ConfirmationAlert *deleteConfirmation() const { return m_confirmation; }

    void completeOnboarding();
    void closeDetailPage();
    void openGroupPage(const QUuid &groupID);
    void openDraftPage();
    void openSettingsPage();

    void presentDockAppsPicker(const QUuid &groupID);
    void presentInstalledAppsPicker(const QUuid &groupID);
    void runOpenPanel(const QUuid &groupID, bool folders);
    void requestDeleteGroup(const QUuid &groupID);
    void startSyncAll();
    void showFoldersKeptForUserFiles();
    void showToast(const AppToast &toast);

signals:
    // The first run ended (finished or skipped).
    void onboardingCompleted();
    void currentPageChanged();
    void syncAllDoneChanged();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setCurrentPage(const std::optional<DetailPage> &page, bool animated);
    void followNavigationPage();
    void showCurrentPage(bool animated);
    void refreshOnboardingGate();
    void showLoadError();
    void showSaveFailure();
    void showSettingsSaveFailure();
    void showSettingsLoadError();
    void setSyncAllDone(bool done);
    void presentPicker(const QUuid &groupID, const std::function<StagedPicker *(const AppGroup &)> &makePicker);
    QWidget *makeDetailPage(const DetailPage &page);

    GroupManager &m_store;
    InstalledAppsServiceInterface &m_appsService;
    AppNavigation &m_navigation;
    QPointer<SkinManager> m_skinManager;
    MainViewFactories m_factories;
    MainWindowActions *m_actions;

    std::optional<DetailPage> m_currentPage;
    // The detail page on screen and what it shows: a page for the same group is kept, another
    // group's page is a fresh one.
    QPointer<QWidget> m_detailWidget;
    std::optional<DetailPage> m_detailShown;
    QPointer<QWidget> m_onboarding;
    PageHost *m_pages;
    GroupGridPage *m_gridPage;
    AppToastModifier *m_toast;
    bool m_syncAllDone = false;
    bool m_onScreen = false;
    QPointer<QDialog> m_sheet;
    QPointer<QFileDialog> m_openPanel;
    QPointer<ConfirmationAlert> m_confirmation;
};
