#pragma once

#include "Kestrowan/app/KestrowanRoute.h"
#include "Kestrowan/groups/AppGroup.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

#include "Kestrowan/shell/AppUpdater.h"
class QAction;
class QMenu;
class StatusItem;

// Answers the application's launch, reopen, open-document and become-active events, owns the
// status item and its menu, and turns every request for the main window into calls of the callbacks
// that the application installs. It never opens a window itself: a request made before the callbacks
// exist waits, and the route that came with it is delivered shortly after the window was asked for.
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    struct StatusGroup {
        QUuid id;
        QString name;
        friend bool operator==(const StatusGroup &, const StatusGroup &) = default;
    };

    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    // Installed once by the application; each is skipped while absent.
    std::function<void()> reopenMainWindow;
    std::function<void()> bootstrapRuntime;
    std::function<void(bool showInDock)> applyActivationPolicy;
    std::function<void(const QUuid &groupID)> navigateToGroup;
    std::function<void()> navigateToSettings;
    std::function<void()> navigateToGroupList;
    std::function<void()> onAppDidBecomeActive;
    // The program is about to quit; told before anything of it ends.
    std::function<void()> applicationWillTerminate;

    // What the usage signal of the update check goes through.
    std::function<void(const QString &name, const QMap<QString, QString> &parameters)> sendSignal;

    bool isMainWindowRequestPending() const { return m_isMainWindowRequestPending; }
    std::optional<KestrowanRoute> pendingRoute() const { return m_pendingRoute; }
    const QList<StatusGroup> &statusGroups() const { return m_statusGroups; }
    StatusItem *statusItem() const { return m_statusItem.get(); }
    QMenu *statusMenu() const { return m_statusMenu.get(); }
    void setAppUpdater(AppUpdater *updater) { m_appUpdater = updater; }
    AppUpdater *appUpdater() const { return m_appUpdater; }

    // The application's events.
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    // Always routes to the main page and answers true.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    void openURLs(const QList<QUrl> &urls);
    void applicationDidBecomeActive();
    // Closing the last window never quits: the program stays in the menu bar.
    static bool applicationShouldTerminateAfterLastWindowClosed() { return false; }

    // Routes.
    void handleRoute(const KestrowanRoute &route);
    void requestMainWindow();
    void flushPendingMainWindowRequest();

    // Status item and menu.
    void setUpStatusItem();
    void buildStatusMenu();
    void updateStatusMenu(const QList<AppGroup> &groups);
    // The status glyph again, after the activation policy changed.
    void reassignStatusGlyph();

    // The menu's commands.
    void menuManageGroups();
    void menuOpenSettings();
    void menuCheckForUpdates();
    void menuOpenGroup(const QString &representedObject);
    void menuQuit();

    // Delays of the deferred steps, in milliseconds.
    static constexpr int routeDeliveryDelay = 120;
    static constexpr int updateCheckDelay = 300;

private:
    void applyPendingRoute();
    // Gives the window that has the keyboard the menu's commands, so their keys work there.
    void attachCommandsToActiveWindow();
    void deliverRoute(const KestrowanRoute &route);
    // Takes new names into the group entries of the menu in place; false when the groups are not
    // the ones the menu lists (added, removed, moved), which takes a new menu.
    bool renameStatusGroups(const QList<StatusGroup> &groups);

    bool m_isMainWindowRequestPending = false;
    std::optional<KestrowanRoute> m_pendingRoute;
    std::unique_ptr<StatusItem> m_statusItem;
    std::unique_ptr<QMenu> m_statusMenu;
    QList<QPointer<QAction>> m_statusCommands; // the menu's commands that have a key
    QList<StatusGroup> m_statusGroups;
    QPointer<AppUpdater> m_appUpdater;
};
