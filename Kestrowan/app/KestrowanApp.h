#pragma once

#include "Kestrowan/app/AppDelegate.h"
#include "Kestrowan/dock/InteractionMode.h"
#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/shell/AppEnvironment.h"

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

class AppNavigation;
class AppUpdater;
class GroupManager;
class HoverServiceInterface;
class InstalledAppsServiceInterface;
class KeyboardShortcutServiceInterface;
class OnboardingCompletion;
#include "Kestrowan/app/MainWindowFrame.h"
class PermissionManagerInterface;
class ShortcutStateStoreInterface;
class SkinManager;

// How the application makes its services and reaches the outside; the program uses
// `ServiceFactories::standard()`, tests put fakes in.
struct ServiceFactories {
    std::function<std::unique_ptr<GroupManager>()> groupManager;
    std::function<std::unique_ptr<AppUpdater>()> appUpdater;
    std::function<std::unique_ptr<InstalledAppsServiceInterface>(const QString &cacheURL)> appsService;
    std::function<std::unique_ptr<PermissionManagerInterface>()> permissionManager;
    std::function<std::unique_ptr<SkinManager>()> skinManager;
    std::function<std::unique_ptr<ShortcutStateStoreInterface>()> shortcutStateStore;
    std::function<std::unique_ptr<KeyboardShortcutServiceInterface>()> keyboardShortcutService;
    std::function<std::unique_ptr<HoverServiceInterface>(GroupManager &, PermissionManagerInterface &,
                                                         ShortcutStateStoreInterface &, KeyboardShortcutServiceInterface &)>
        hoverService;

    std::function<void()> configureAnalytics;
    std::function<void(const QString &name, const QMap<QString, QString> &parameters)> signal;
    // The pointer in global coordinates with the origin at the bottom left of the main screen.
    std::function<QPointF()> pointerLocation;

    static ServiceFactories standard();
};

// The running program: it owns every long-lived service, created once and in a fixed order, the
// application delegate and the main window, and keeps the services in step with the settings, the
// groups and the system for the life of the process.
class KestrowanApp final : public QObject {
    Q_OBJECT
public:
    explicit KestrowanApp(ServiceFactories factories = ServiceFactories::standard(), QObject *parent = nullptr);
    ~KestrowanApp() override;

    AppDelegate &appDelegate() { return *m_appDelegate; }
    GroupManager &groupManager() { return *m_groupManager; }
    AppUpdater &appUpdater() { return *m_appUpdater; }
    InstalledAppsServiceInterface &appsService() { return *m_appsService; }
    AppNavigation &navigation() { return *m_navigation; }
    PermissionManagerInterface &permissionManager() { return *m_permissionManager; }
    SkinManager &skinManager() { return *m_skinManager; }
    ShortcutStateStoreInterface &shortcutStateStore() { return *m_shortcutStateStore; }
    KeyboardShortcutServiceInterface &keyboardShortcutService() { return *m_keyboardShortcutService; }
    HoverServiceInterface *hoverService() const { return m_hoverService.get(); }
    AppEnvironment environment();

    // The scene: its first evaluation installs the delegate's callbacks and performs a waiting
    // request for the main window; later evaluations change nothing.
    void evaluateScene();
    // The whole launch, as the platform drives it.
    void launch();
    // Runs `work` once the main window's first frame is drawn (at once when it was), so start-up
    // chores that nothing on screen waits for do not hold the window back. Should no window be
    // drawn, the work runs after `firstFrameDeadline` all the same.
    void afterFirstFrame(std::function<void()> work);

    // Once per run, whichever road comes first: the delegate's callback or the main view's appearance.
    void bootstrapRuntime();
    void bootstrapRuntimeFromDelegate();
    void startHoverService();
    void showPopupAtMouse(const QUuid &groupID, HoverServiceInterface &hoverService);
    void requestEditGroup(const QUuid &groupID);

    // The main window's life.
    void openMainWindow();
    void handleMainViewAppear();
    void handleMainViewDisappear();
    MainWindowFrame *mainWindow() const { return m_mainWindow; }

    // Reactions.
    void onGroupsChanged(const QList<AppGroup> &groups);
    void handleInteractionModeChange(const QString &mode);
    void handleAccessibilityChange(bool granted);
    void handleAppDidBecomeActive();
    void scheduleStartupRecovery();
    void startupRecoveryPass(int delayMilliseconds);
    void applyDeferredGroupNavigation(const QUuid &groupID);
    void applyDeferredSettingsNavigation();

    // Mode, policy and appearance.
    void applyInteractionMode();
    void reapplyHoverMode();
    void applyActivationPolicy(bool showInDock);
    static bool isMainWindowOpen();
    // Whether the window with the keyboard is the popup panel.
    static bool isPanelActivation();
    void applyAppearance();
    void styleMainWindow(QWidget *window);
    void restyleMainWindows();
    static void closeDuplicateMainWindows();

    bool isMainWindowVisible() const { return m_isMainWindowVisible; }
    bool isMainWindowRequested() const { return m_isMainWindowRequested; }
    bool didBootstrapRuntime() const { return m_didBootstrapRuntime; }
    bool scheduledStartupRecovery() const { return m_scheduledStartupRecovery; }
    bool didInstallAppDelegateHandlers() const { return m_didInstallAppDelegateHandlers; }

    // Delays of the deferred steps, in milliseconds.
    static constexpr int bringToFrontDelay = 80;
    static constexpr int windowGoneDelay = 200;
    static constexpr int firstRecoveryDelay = 350;
    static constexpr int secondRecoveryDelay = 1200;
    static constexpr int firstFrameDeadline = 3000;

signals:
    // After the runtime bootstrap finished (tests and benchmarks wait for it).
    void runtimeBootstrapped();

private:
    void installAppDelegateHandlers();
    void installReactions();
    void bringMainWindowsToFront();
    bool showInDock() const;
    void runAfterFirstFrameWork();

    ServiceFactories m_factories;
    std::unique_ptr<AppDelegate> m_appDelegate;
    std::unique_ptr<GroupManager> m_groupManager;
    std::unique_ptr<AppUpdater> m_appUpdater;
    std::unique_ptr<InstalledAppsServiceInterface> m_appsService;
    std::unique_ptr<AppNavigation> m_navigation;
    std::unique_ptr<PermissionManagerInterface> m_permissionManager;
    std::unique_ptr<SkinManager> m_skinManager;
    std::unique_ptr<ShortcutStateStoreInterface> m_shortcutStateStore;
    std::unique_ptr<KeyboardShortcutServiceInterface> m_keyboardShortcutService;
    std::unique_ptr<HoverServiceInterface> m_hoverService;
    // The first run's finish, which must outlive the window it was started in.
    std::unique_ptr<OnboardingCompletion> m_onboardingCompletion;
    QPointer<MainWindowFrame> m_mainWindow;
    QList<std::function<void()>> m_afterFirstFrame;
    bool m_firstFrameDrawn = false;

    bool m_isMainWindowVisible = false;
    bool m_isMainWindowRequested = false;
    bool m_didBootstrapRuntime = false;
    bool m_scheduledStartupRecovery = false;
    bool m_groupsChangeFollowPosted = false; // one pass for a burst of changes, after their repaint
    bool m_didInstallAppDelegateHandlers = false;
};
