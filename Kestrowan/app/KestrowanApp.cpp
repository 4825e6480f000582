#include "Kestrowan/app/KestrowanApp.h"

#include "Kestrowan/app/MainViewPages.h"
#include "Kestrowan/app/MainWindowFrame.h"
#include "Kestrowan/app/ShellRules.h"
#include "Kestrowan/dock/HoverServiceInterface.h"
#include "Platform/Screens.h"
#include "Kestrowan/dock/KeyboardShortcutServiceInterface.h"
#include "Kestrowan/dock/PermissionManagerInterface.h"
#include "Kestrowan/dock/ShortcutStateStoreInterface.h"
#include "Kestrowan/groups/DroppedItemKeeper.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/GroupShortcut.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/groups/SettingsValues.h"
#include "Kestrowan/groups/FolderIconPainter.h"
#include "Kestrowan/icons/ComposedFolderIcons.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/mainwindow/InstalledAppsServiceInterface.h"
#include "Kestrowan/onboarding/OnboardingCompletion.h"
#include "Kestrowan/popup/ProgramPopup.h"
#include "Kestrowan/shell/AfterRepaint.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/AppUpdater.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/Log.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/ApplicationActivation.h"
#include "Platform/KeyboardFocus.h"
#include "Platform/UserDefaults.h"
#include "analytics/NVLXAnalytics.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

ServiceFactories ServiceFactories::standard()
{
    ServiceFactories factories;
    factories.groupManager = [] { return std::make_unique<GroupManager>(); };
    factories.appUpdater = [] {
        return std::make_unique<AppUpdater>(AppUpdateConfiguration::fromInfoDictionary(mainBundleInfoDictionary()));
    };
    factories.appsService = [](const QString &cacheURL) { return makeInstalledAppsService(cacheURL); };
    factories.permissionManager = [] { return makePermissionManager(); };
    factories.skinManager = [] { return std::make_unique<SkinManager>(); };
    factories.shortcutStateStore = [] { return makeShortcutStateStore(); };
    factories.keyboardShortcutService = [] { return makeKeyboardShortcutService(); };
    factories.hoverService = [](GroupManager &groups, PermissionManagerInterface &permission,
                                ShortcutStateStoreInterface &state, KeyboardShortcutServiceInterface &shortcuts) {
        return makeHoverService(groups, permission, state, shortcuts, makePopupPresenter());
    };
    factories.configureAnalytics = [] { NVLXAnalytics::configureFromBuild(); };
    factories.signal = [](const QString &name, const QMap<QString, QString> &parameters) {
        NVLXAnalytics::signal(name, parameters);
    };
    factories.pointerLocation = [] { return Screens::shared().mouseLocation(); };
    return factories;
}

KestrowanApp::KestrowanApp(ServiceFactories factories, QObject *parent)
    : QObject(parent)
    , m_factories(std::move(factories))
{
    m_appDelegate = std::make_unique<AppDelegate>();
    m_appDelegate->sendSignal = m_factories.signal;

    m_groupManager = m_factories.groupManager();
    m_groupManager->ensureStorageDirectories();
    m_groupManager->loadGroups();
    // Copies kept for items from temporary folders go with their items and groups.
    DroppedItemKeeper::followStore(*m_groupManager, DroppedItemKeeper::defaultFolder());

    m_appUpdater = m_factories.appUpdater();
    m_appsService = m_factories.appsService(appSupportDirectoryURL() + QStringLiteral("/installed_apps_cache.json"));
    m_navigation = std::make_unique<AppNavigation>();
    m_permissionManager = m_factories.permissionManager();
    m_skinManager = m_factories.skinManager();
    // The mirror folders' icons are the group icons the windows show.
    if (!FolderIconPainter::installed())
        FolderIconPainter::install(std::make_unique<ComposedFolderIcons>());
    m_shortcutStateStore = m_factories.shortcutStateStore();
    m_keyboardShortcutService = m_factories.keyboardShortcutService();
    m_keyboardShortcutService->setShortcuts(loadShortcuts());

    OnboardingCompletion::settleInterruptedFinish(UserDefaults::standard());
    m_onboardingCompletion = std::make_unique<OnboardingCompletion>(
        OnboardingCompletion::Services{m_groupManager.get(), m_skinManager.get(), m_permissionManager.get()});
    installMainViewPages(environment(), m_onboardingCompletion.get());
    installReactions();
}

KestrowanApp::~KestrowanApp()
{
    if (m_mainWindow)
        delete m_mainWindow.data();
}

AppEnvironment KestrowanApp::environment()
{
    return {m_groupManager.get(), m_appUpdater.get(), m_appsService.get(), m_navigation.get(),
            m_permissionManager.get(), m_skinManager.get(), m_shortcutStateStore.get(),
            m_keyboardShortcutService.get()};
}

bool KestrowanApp::showInDock() const
{
    return AppSettings::showInDock(UserDefaults::standard());
}

void KestrowanApp::launch()
{
    // The look is settled before the status menu and the main window are built: settling it when
    // the main view appears would polish the whole window again and rebuild the menu.
    applyAppearance();
    m_appDelegate->applicationWillFinishLaunching();
    evaluateScene();
    m_appDelegate->applicationDidFinishLaunching();
}

void KestrowanApp::afterFirstFrame(std::function<void()> work)
{
    if (m_firstFrameDrawn) {
        work();
        return;
    }
    m_afterFirstFrame.append(std::move(work));
    QTimer::singleShot(firstFrameDeadline, this, [this] { runAfterFirstFrameWork(); });
}

void KestrowanApp::runAfterFirstFrameWork()
{
    m_firstFrameDrawn = true;
    const QList<std::function<void()>> work = std::exchange(m_afterFirstFrame, {});
    for (const std::function<void()> &step : work)
        step();
}

void KestrowanApp::evaluateScene()
{
    installAppDelegateHandlers();
}

void KestrowanApp::installAppDelegateHandlers()
{
    if (m_didInstallAppDelegateHandlers)
        return;
    m_didInstallAppDelegateHandlers = true;
    AppDelegate &delegate = *m_appDelegate;
    delegate.bootstrapRuntime = [this] { bootstrapRuntimeFromDelegate(); };
    delegate.applyActivationPolicy = [this](bool show) { applyActivationPolicy(show); };
    AppNavigation *navigation = m_navigation.get();
    GroupManager *groups = m_groupManager.get();
    delegate.navigateToGroup = [navigation, groups](const QUuid &groupID) {
        const QString text = ModelJson::uuidText(groupID);
        // A link to a group that is gone (or never was) shows the group list, not an empty page.
        const bool known = std::any_of(groups->groups().cbegin(), groups->groups().cend(),
                                       [&groupID](const AppGroup &group) { return group.id == groupID; });
        if (!known) {
            qCWarning(appLogger, "No group %s; showing the group list instead", qUtf8Printable(text));
            navigation->setSelectedPage(std::nullopt);
            return;
        }
        qCDebug(appLogger, "Applying deferred group navigation: %s", qUtf8Printable(text));
        navigation->setSelectedPage(DetailPage::group(groupID));
    };
    delegate.navigateToSettings = [navigation] {
        qCDebug(appLogger, "Applying deferred settings navigation");
        navigation->setSelectedPage(DetailPage::settings());
    };
    delegate.navigateToGroupList = [navigation] { navigation->setSelectedPage(std::nullopt); };
    delegate.onAppDidBecomeActive = [this] { handleAppDidBecomeActive(); };
    // A program on its way out takes no more clicks on the Dock, and says so at once: from here on
    // nothing answers its taps, and the Dock must not wait for them.
    delegate.applicationWillTerminate = [this] {
        if (m_hoverService)
            m_hoverService->stopHoverTracking(false);
    };
    delegate.reopenMainWindow = [this] { openMainWindow(); };
    delegate.flushPendingMainWindowRequest();
}

void KestrowanApp::applyDeferredGroupNavigation(const QUuid &groupID)
{
    if (m_appDelegate->navigateToGroup)
        m_appDelegate->navigateToGroup(groupID);
}

void KestrowanApp::applyDeferredSettingsNavigation()
{
    if (m_appDelegate->navigateToSettings)
        m_appDelegate->navigateToSettings();
}

void KestrowanApp::installReactions()
{
    // The Dock tracking, the hot keys and the status menu follow the groups once the event that
    // changed them is through: a name typed key by key repaints first, and a burst of changes
    // (each key of a name) is followed once.
    connect(m_groupManager.get(), &GroupManager::groupsChanged, this, [this] {
        if (m_groupsChangeFollowPosted)
            return;
        m_groupsChangeFollowPosted = true;
        AfterRepaint::post(this, [this] {
            m_groupsChangeFollowPosted = false;
            onGroupsChanged(m_groupManager->groups());
        });
    });
    UserDefaults &defaults = UserDefaults::standard();
    defaults.observe(AppSettings::interactionModeKey, this,
                     [this] { handleInteractionModeChange(AppSettings::interactionMode(UserDefaults::standard())); });
    defaults.observe(AppSettings::clickModeBehaviorKey, this, [this] { applyInteractionMode(); });
    defaults.observe(AppSettings::showInDockKey, this, [this] { applyActivationPolicy(showInDock()); });
    defaults.observe(AppSettings::appearanceModeKey, this, [this] { applyAppearance(); });
    defaults.observe(AppSettings::didCompleteOnboardingKey, this,
                     [this] { QTimer::singleShot(0, this, [this] { restyleMainWindows(); }); });
    connect(m_permissionManager.get(), &PermissionManagerInterface::accessibilityGrantedChanged, this,
            [this] { applyInteractionMode(); });

    // Screens coming, going or changing their frames.
    auto watchScreen = [this](QScreen *screen) {
        connect(screen, &QScreen::geometryChanged, this, [this] { reapplyHoverMode(); });
        connect(screen, &QScreen::availableGeometryChanged, this, [this] { reapplyHoverMode(); });
    };
    for (QScreen *screen : QGuiApplication::screens())
        watchScreen(screen);
    connect(qApp, &QGuiApplication::screenAdded, this, [this, watchScreen](QScreen *screen) {
        watchScreen(screen);
        reapplyHoverMode();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, [this] { reapplyHoverMode(); });
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, [this] { reapplyHoverMode(); });

    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive || isPanelActivation())
            return;
        m_appDelegate->applicationDidBecomeActive();
        applyAppearance();
    });
    connect(&ApplicationActivation::shared(), &ApplicationActivation::reopenRequested, this,
            [this] { m_appDelegate->applicationShouldHandleReopen(isMainWindowOpen()); });
}

void KestrowanApp::bootstrapRuntime()
{
    if (m_didBootstrapRuntime)
        return;
    m_didBootstrapRuntime = true;
    if (m_factories.configureAnalytics)
        m_factories.configureAnalytics();
    if (m_factories.signal) {
        m_factories.signal(QStringLiteral("app.launched"),
                           {{QStringLiteral("version"), m_appUpdater->configuration().marketingVersion},
                            {QStringLiteral("build"), m_appUpdater->configuration().buildNumber},
                            {QStringLiteral("group_count"), QString::number(m_groupManager->groups().size())},
                            {QStringLiteral("interaction_mode"), AppSettings::interactionMode(UserDefaults::standard())},
                            {QStringLiteral("channel"), QStringLiteral("full")}});
    }
    m_groupManager->removeOrphanedGroupFolders();
    startHoverService();
    m_permissionManager->onAccessibilityChanged = [this](bool granted) { handleAccessibilityChange(granted); };
    applyInteractionMode();
    scheduleStartupRecovery();
    qCInfo(appLogger, "Runtime bootstrap complete");
    emit runtimeBootstrapped();
}

void KestrowanApp::bootstrapRuntimeFromDelegate()
{
    bootstrapRuntime();
    m_groupManager->removeOrphanedGroupFolders();
    startHoverService();
    applyInteractionMode();
    m_appDelegate->updateStatusMenu(m_groupManager->groups());
    m_appDelegate->setAppUpdater(m_appUpdater.get());
}

void KestrowanApp::startHoverService()
{
    if (m_hoverService)
        return;
    m_hoverService = m_factories.hoverService(*m_groupManager, *m_permissionManager, *m_shortcutStateStore,
                                              *m_keyboardShortcutService);
    m_hoverService->onRequestEditGroup = [this](const QUuid &groupID) { requestEditGroup(groupID); };
    // However the program comes to quit, its taps go before it stops answering them.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
        if (m_hoverService)
            m_hoverService->stopHoverTracking(false);
    });
    m_keyboardShortcutService->setGroupManager(m_groupManager.get());
    HoverServiceInterface *service = m_hoverService.get();
    m_keyboardShortcutService->onTriggerGroup = [this, service](const QUuid &groupID) {
        showPopupAtMouse(groupID, *service);
    };
    QList<QUuid> groupIDs;
    for (const AppGroup &group : m_groupManager->groups())
        groupIDs.append(group.id);
    m_keyboardShortcutService->reconcileShortcuts(groupIDs);
    m_keyboardShortcutService->stopHotKeys();
    m_keyboardShortcutService->installHotKeyHandler();
    m_keyboardShortcutService->registerAllHotKeys();
}

void KestrowanApp::showPopupAtMouse(const QUuid &groupID, HoverServiceInterface &hoverService)
{
    for (const AppGroup &group : m_groupManager->groups()) {
        if (group.id != groupID)
            continue;
        const QPointF pointer = m_factories.pointerLocation ? m_factories.pointerLocation() : QPointF();
        hoverService.showPopupForGroup(group, QRectF(pointer.x() - 40, pointer.y() - 30, 80, 60));
        return;
    }
}

void KestrowanApp::requestEditGroup(const QUuid &groupID)
{
    // The program's own route stays inside: sent out through the desktop it would come back only
    // where the desktop knows this program, and a started opener says nothing of that.
    m_appDelegate->handleRoute(KestrowanRoute::group(groupID));
}

void KestrowanApp::openMainWindow()
{
    qCDebug(appLogger, "Reopen main window requested from AppDelegate callback");
    m_isMainWindowRequested = true;
    applyActivationPolicy(showInDock());
    if (!m_mainWindow) {
        m_mainWindow = new MainWindowFrame(environment());
        connect(m_mainWindow, &MainWindowFrame::mainViewAppeared, this, &KestrowanApp::handleMainViewAppear);
        connect(m_mainWindow, &MainWindowFrame::mainViewDisappeared, this, &KestrowanApp::handleMainViewDisappear);
        connect(m_mainWindow, &MainWindowFrame::closed, this, [this] { m_mainWindow = nullptr; });
        // A turn later, so what the window's content does right after its first frame comes first.
        connect(m_mainWindow, &MainWindowFrame::firstFrameDrawn, this,
                [this] { QTimer::singleShot(0, this, [this] { runAfterFirstFrameWork(); }); });
    }
    if (m_mainWindow->isMinimized())
        m_mainWindow->showNormal();
    else
        m_mainWindow->show();
    qCDebug(appLogger, "openWindow(id: main) dispatched");
    ApplicationActivation::shared().activateIgnoringOtherApps();
    QTimer::singleShot(bringToFrontDelay, Qt::PreciseTimer, this, [this] { bringMainWindowsToFront(); });
}

void KestrowanApp::bringMainWindowsToFront()
{
    closeDuplicateMainWindows();
    // Only windows on screen: a window the user closed meanwhile stays closed.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (MainWindowFrame::isMainWindow(window) && window->isVisible()) {
            window->raise();
            // A popup that came up since the window was asked for (a hot key pressed at once) keeps
            // the keyboard.
            if (!isPanelActivation())
                KeyboardFocus::take(window);
        }
    }
}

void KestrowanApp::handleMainViewAppear()
{
    bootstrapRuntime();
    closeDuplicateMainWindows();
    restyleMainWindows();
    applyAppearance();
    m_isMainWindowVisible = true;
    qCDebug(appLogger, "MainView onAppear");
    applyActivationPolicy(showInDock());
}

void KestrowanApp::handleMainViewDisappear()
{
    m_isMainWindowVisible = false;
    qCDebug(appLogger, "MainView onDisappear");
    QTimer::singleShot(windowGoneDelay, Qt::PreciseTimer, this, [this] {
        if (isMainWindowOpen())
            return;
        m_isMainWindowRequested = false;
        applyActivationPolicy(showInDock());
    });
}

void KestrowanApp::onGroupsChanged(const QList<AppGroup> &groups)
{
    if (m_hoverService)
        m_hoverService->refreshTracking();
    QList<QUuid> groupIDs;
    for (const AppGroup &group : groups)
        groupIDs.append(group.id);
    m_keyboardShortcutService->reconcileShortcuts(groupIDs);
    m_appDelegate->updateStatusMenu(groups);
}

void KestrowanApp::handleInteractionModeChange(const QString &mode)
{
    if (m_factories.signal)
        m_factories.signal(QStringLiteral("interaction_mode.changed"), {{QStringLiteral("mode"), mode}});
    applyInteractionMode();
}

void KestrowanApp::handleAccessibilityChange(bool granted)
{
    if (granted && m_factories.signal)
        m_factories.signal(QStringLiteral("permission.accessibility_granted"), {});
    QTimer::singleShot(0, this, [this] { applyInteractionMode(); });
}

void KestrowanApp::handleAppDidBecomeActive()
{
    applyInteractionMode();
    reapplyHoverMode();
}

void KestrowanApp::scheduleStartupRecovery()
{
    if (m_scheduledStartupRecovery)
        return;
    m_scheduledStartupRecovery = true;
    startupRecoveryPass(firstRecoveryDelay);
    startupRecoveryPass(secondRecoveryDelay);
}

void KestrowanApp::startupRecoveryPass(int delayMilliseconds)
{
    QTimer::singleShot(delayMilliseconds, Qt::PreciseTimer, this, [this, delayMilliseconds] {
        applyInteractionMode();
        reapplyHoverMode();
        // The Dock's watchers were started afresh: a click held across that was let go.
        qCDebug(appLogger, "Startup recovery pass at %d ms done", delayMilliseconds);
    });
}

void KestrowanApp::applyInteractionMode()
{
    startHoverService();
    const UserDefaults &defaults = UserDefaults::standard();
    switch (interactionActionFor(AppSettings::interactionMode(defaults), m_permissionManager->isAccessibilityGranted(),
                                 AppSettings::clickModeBehavior(defaults))) {
    case InteractionAction::SetHover:
        m_hoverService->setMode(InteractionMode::Hover);
        break;
    case InteractionAction::SetClick:
        m_hoverService->setMode(InteractionMode::Click);
        break;
    case InteractionAction::Stop:
        m_hoverService->stopHoverTracking(true);
        break;
    }
}

void KestrowanApp::reapplyHoverMode()
{
    if (!m_hoverService)
        return;
    const InteractionMode mode = m_hoverService->mode();
    if (mode != InteractionMode::None)
        m_hoverService->setMode(mode);
}

bool KestrowanApp::isPanelActivation()
{
    // The popup is a panel that takes the keyboard without activating the program; here the
    // toolkit counts its focus as the program becoming active, which the program does not. The
    // window server is asked first: the toolkit hears of a popup that has just taken the keyboard
    // only a moment later. Then the toolkit's focus window, not its active widget: it reports the
    // program active before it names the active widget, which then is still the one before.
    const QWidget *holder = KeyboardFocus::holder();
    const QWindow *focus = QGuiApplication::focusWindow();
    return (holder && holder->windowType() == Qt::Tool) || (focus && focus->type() == Qt::Tool);
}

bool KestrowanApp::isMainWindowOpen()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (MainWindowFrame::isMainWindow(window) && window->isVisible() && !window->isMinimized())
            return true;
    }
    return false;
}

void KestrowanApp::applyActivationPolicy(bool showInDock)
{
    const ApplicationActivation::Policy target =
        targetActivationPolicy(isMainWindowOpen(), m_isMainWindowVisible, showInDock, m_isMainWindowRequested);
    ApplicationActivation &activation = ApplicationActivation::shared();
    if (activation.activationPolicy() == target)
        return;
    const bool regular = target == ApplicationActivation::Policy::Regular;
    qCDebug(appLogger, "ActivationPolicy update -> %s", regular ? "regular" : "accessory");
    activation.setActivationPolicy(target);
    QTimer::singleShot(0, m_appDelegate.get(), [delegate = m_appDelegate.get()] { delegate->reassignStatusGlyph(); });
}

void KestrowanApp::applyAppearance()
{
    const QString mode = AppSettings::appearanceMode(UserDefaults::standard());
    std::optional<bool> forcedDark;
    if (mode == QStringLiteral("light"))
        forcedDark = false;
    else if (mode == QStringLiteral("dark"))
        forcedDark = true;
    Appearance::shared().apply(forcedDark);
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!MainWindowFrame::isMainWindow(window))
            continue;
        styleMainWindow(window);
        window->update();
    }
}

void KestrowanApp::styleMainWindow(QWidget *window)
{
    auto *frame = qobject_cast<MainWindowFrame *>(window);
    if (!AppSettings::didCompleteOnboarding(UserDefaults::standard())) {
        if (frame)
            frame->setResizable(false);
        return;
    }
    ApplicationActivation &activation = ApplicationActivation::shared();
    if (activation.activationPolicy() != ApplicationActivation::Policy::Regular)
        activation.setActivationPolicy(ApplicationActivation::Policy::Regular);
    if (frame)
        frame->setResizable(true);
    // Only a window on screen is brought forward: styling never reopens a window the user closed,
    // and never takes the keyboard from the popup panel.
    if (window->isVisible() && !window->isMinimized() && !isPanelActivation()) {
        activation.activateIgnoringOtherApps();
        window->raise();
        KeyboardFocus::take(window);
    }
}

void KestrowanApp::restyleMainWindows()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (MainWindowFrame::isMainWindow(window))
            styleMainWindow(window);
    }
}

void KestrowanApp::closeDuplicateMainWindows()
{
    QList<QWidget *> windows;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (MainWindowFrame::isMainWindow(window))
            windows.append(window);
    }
    if (windows.size() < 2)
        return;
    QWidget *keep = windows.first();
    for (QWidget *window : windows) {
        if (window->isVisible()) {
            keep = window;
            break;
        }
    }
    for (QWidget *window : windows) {
        if (window != keep)
            window->close();
    }
}
