#include "Kestrowan/app/AppDelegate.h"

#include "Kestrowan/app/LinkFile.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/groups/SettingsValues.h"
#include "Kestrowan/shell/AppUpdater.h"
#include "Kestrowan/shell/KeyNotation.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/Log.h"
#include "Kestrowan/shell/StatusGlyph.h"
#include "Platform/FileURL.h"
#include "Platform/StatusItem.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QTimer>

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent)
{
    // The menu is drawn for the current look and worded in the current language.
    connect(&Appearance::shared(), &Appearance::changed, this, &AppDelegate::buildStatusMenu);
    connect(&LanguageManager::shared(), &LanguageManager::bundleChanged, this, &AppDelegate::buildStatusMenu);
    // The menu's key equivalents work wherever the program has the keyboard, as its menu bar's do.
    if (auto *application = qobject_cast<QApplication *>(QCoreApplication::instance()))
        connect(application, &QApplication::focusChanged, this, &AppDelegate::attachCommandsToActiveWindow);
}

AppDelegate::~AppDelegate()
{
    // The item refers to the menu; let it go first.
    m_statusItem.reset();
}

void AppDelegate::applicationWillFinishLaunching()
{
    // Nothing to register: this platform restores no windows of an earlier run.
}

void AppDelegate::applicationDidFinishLaunching()
{
    setUpStatusItem();
    if (bootstrapRuntime)
        bootstrapRuntime();
    const bool showInDock = boolWithDefault(AppSettings::showInDockKey, false);
    qCDebug(appLogger, "App did finish launching. showInDock=%d", showInDock ? 1 : 0);
    if (applyActivationPolicy)
        applyActivationPolicy(showInDock);
    handleRoute(KestrowanRoute::main());
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows)
{
    qCDebug(appLogger, "applicationShouldHandleReopen called. hasVisibleWindows=%d", hasVisibleWindows ? 1 : 0);
    handleRoute(KestrowanRoute::main());
    return true;
}

void AppDelegate::openURLs(const QList<QUrl> &urls)
{
    for (const QUrl &url : urls) {
        if (isLinkFileURL(url)) {
            const std::optional<KestrowanRoute> route = readLinkFile(localPathOfFileURL(url));
            if (!route)
                continue;
            qCInfo(appLogger, "Opened group link file: %s", qUtf8Printable(loggedText(QFileInfo(localPathOfFileURL(url)).fileName())));
            handleRoute(*route);
            continue;
        }
        if (url.isLocalFile() && !isLocalFileURL(url)) {
            qCWarning(appLogger, "Ignored a link to a file on another host: %s",
                      qUtf8Printable(loggedText(url.toString(QUrl::FullyEncoded))));
            continue;
        }
        const std::optional<KestrowanRoute> route = parseRoute(url);
        if (!route) {
            // Whoever sent it learns nothing else, so the log says what was dropped.
            qCWarning(appLogger, "Ignored a link Kestrowan does not handle: %s",
                      qUtf8Printable(loggedText(url.toString(QUrl::FullyEncoded))));
            continue;
        }
        qCInfo(appLogger, "Received deep link: %s", qUtf8Printable(loggedText(url.toString(QUrl::FullyEncoded))));
        handleRoute(*route);
    }
}

void AppDelegate::applicationDidBecomeActive()
{
    if (onAppDidBecomeActive)
        onAppDidBecomeActive();
}

void AppDelegate::handleRoute(const KestrowanRoute &route)
{
    switch (route.kind) {
    case KestrowanRoute::Kind::Main:
        m_pendingRoute.reset();
        qCDebug(appLogger, "Deep link route -> main");
        break;
    case KestrowanRoute::Kind::Group:
        m_pendingRoute = route;
        qCDebug(appLogger, "Deep link route -> group %s", qUtf8Printable(ModelJson::uuidText(route.groupID)));
        break;
    case KestrowanRoute::Kind::Settings:
        m_pendingRoute = route;
        qCDebug(appLogger, "Deep link route -> settings");
        break;
    }
    requestMainWindow();
}

void AppDelegate::requestMainWindow()
{
    qCDebug(appLogger, "requestMainWindow enqueued");
    m_isMainWindowRequestPending = true;
    flushPendingMainWindowRequest();
}

void AppDelegate::flushPendingMainWindowRequest()
{
    if (!m_isMainWindowRequestPending || !reopenMainWindow)
        return;
    qCDebug(appLogger, "flushPendingMainWindowRequest executing");
    m_isMainWindowRequestPending = false;
    reopenMainWindow();
    applyPendingRoute();
}

void AppDelegate::applyPendingRoute()
{
    if (!m_pendingRoute)
        return;
    const KestrowanRoute route = *m_pendingRoute;
    m_pendingRoute.reset();
    // The timer belongs to this delegate: it never fires after the delegate is gone.
    QTimer::singleShot(routeDeliveryDelay, Qt::PreciseTimer, this, [this, route] { deliverRoute(route); });
}

void AppDelegate::deliverRoute(const KestrowanRoute &route)
{
    switch (route.kind) {
    case KestrowanRoute::Kind::Group:
        qCDebug(appLogger, "Deferred group selection fired: %s", qUtf8Printable(ModelJson::uuidText(route.groupID)));
        if (navigateToGroup)
            navigateToGroup(route.groupID);
        break;
    case KestrowanRoute::Kind::Settings:
        qCDebug(appLogger, "Deferred settings navigation fired");
        if (navigateToSettings)
            navigateToSettings();
        break;
    case KestrowanRoute::Kind::Main:
        break;
    }
}

void AppDelegate::setUpStatusItem()
{
    if (m_statusItem)
        return;
    m_statusItem = StatusItem::make();
    m_statusItem->setTemplateImage(statusGlyph());
    m_statusItem->setToolTip(QStringLiteral("Kestrowan"));
    buildStatusMenu();
}

void AppDelegate::reassignStatusGlyph()
{
    if (m_statusItem)
        m_statusItem->setTemplateImage(statusGlyph());
}

namespace {

// A status item's menu hangs under no window, so Qt's shortcut map never finds its actions: the
// menu takes its key equivalents itself while it is open.
class StatusMenu final : public QMenu {
protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const QKeySequence pressed(event->keyCombination());
        const QList<QAction *> commands = actions();
        for (QAction *action : commands) {
            if (action->isEnabled() && !action->shortcut().isEmpty()
                && action->shortcut().matches(pressed) == QKeySequence::ExactMatch) {
                close();
                action->trigger();
                return;
            }
        }
        QMenu::keyPressEvent(event);
    }
};

// The desktop's own key for a standard command, where it has one.
QKeySequence standardKey(QKeySequence::StandardKey key, const QKeySequence &fallback)
{
    const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
    return bindings.isEmpty() ? fallback : bindings.first();
}

// The widest a group's name may be drawn in the status menu.
constexpr int statusMenuNameWidth = 260;

// A name is shown as it stands: an ampersand is not a mnemonic here. A long one ends in "…" so the
// menu keeps a menu's width; the whole name is the entry's tool tip.
void showStatusGroupName(const QMenu &menu, QAction *action, const QString &name)
{
    const QString shown = QFontMetrics(menu.font()).elidedText(name, Qt::ElideRight, statusMenuNameWidth);
    action->setText(QString(shown).replace(u'&', QStringLiteral("&&")));
    action->setToolTip(shown != name ? name : QString());
}

// A menu-bar menu: roomy rows, a rounded highlight, hairline separators, in the current look.
QString statusMenuStyleSheet(bool dark)
{
    const QString background = dark ? QStringLiteral("#2A2A2D") : QStringLiteral("#F6F6F7");
    const QString text = dark ? QStringLiteral("#EEEEEE") : QStringLiteral("#1A1A1A");
    const QString frame = dark ? QStringLiteral("rgba(255,255,255,0.14)") : QStringLiteral("rgba(0,0,0,0.16)");
    const QString separator = dark ? QStringLiteral("rgba(255,255,255,0.12)") : QStringLiteral("rgba(0,0,0,0.10)");
    const QString highlight = dark ? QStringLiteral("#0A84FF") : QStringLiteral("#007AFF");
    return QStringLiteral("QMenu { background: %1; color: %2; border: 1px solid %3; padding: 5px; }"
                          "QMenu::item { padding: 4px 18px 4px 12px; border-radius: 5px; }"
                          "QMenu::item:selected { background: %5; color: #FFFFFF; }"
                          "QMenu::item:disabled { color: %3; }"
                          "QMenu::separator { height: 1px; background: %4; margin: 5px 8px; }")
        .arg(background, text, frame, separator, highlight);
}

} // namespace

void AppDelegate::buildStatusMenu()
{
    if (!m_statusItem)
        return;
    auto menu = std::make_unique<StatusMenu>();
    // The old menu lives on a little (below): its commands leave the windows now, or a key would
    // match two commands and run neither.
    for (const QPointer<QAction> &command : std::as_const(m_statusCommands)) {
        if (!command)
            continue;
        const QList<QObject *> holders = command->associatedObjects();
        for (QObject *holder : holders) {
            if (auto *window = qobject_cast<QWidget *>(holder); window && window != m_statusMenu.get())
                window->removeAction(command);
        }
    }
    m_statusCommands.clear();
    menu->setStyleSheet(statusMenuStyleSheet(Appearance::shared().isDark()));
    // `shortcut` is shown and works; `alsoWorks`, the desktop's standard key for the same command
    // where it has one, works too.
    auto addCommand = [&](const QString &key, void (AppDelegate::*command)(), const QKeySequence &shortcut,
                          const QList<QKeySequence> &alsoWorks = {}) {
        QAction *action = menu->addAction(localized(key));
        QList<QKeySequence> keys{shortcut};
        for (const QKeySequence &other : alsoWorks) {
            if (!other.isEmpty() && !keys.contains(other))
                keys << other;
        }
        action->setShortcuts(shortcut.isEmpty() ? QList<QKeySequence>() : keys);
        if (!shortcut.isEmpty()) {
            // The key is written in the desktop's notation, as every shortcut the program shows.
            action->setShortcutVisibleInContextMenu(false);
            action->setText(action->text() + u'\t' + KeyNotation::text(shortcut));
            m_statusCommands.append(action);
        }
        connect(action, &QAction::triggered, this, command);
    };
    // The menu's keys all hold Super, as the other keys the program shows do; the desktop's own
    // keys for the settings and for quitting work beside them.
    addCommand(QStringLiteral("menu.manageGroups"), &AppDelegate::menuManageGroups, QKeySequence(Qt::META | Qt::Key_G));
    addCommand(QStringLiteral("menu.settings"), &AppDelegate::menuOpenSettings, QKeySequence(Qt::META | Qt::Key_Comma),
               QKeySequence::keyBindings(QKeySequence::Preferences));
    addCommand(QStringLiteral("menu.checkForUpdates"), &AppDelegate::menuCheckForUpdates, QKeySequence());
    if (!m_statusGroups.isEmpty()) {
        menu->addSeparator();
        menu->ensurePolished();
        menu->setToolTipsVisible(true);
        for (const StatusGroup &group : m_statusGroups) {
            QAction *action = menu->addAction(QString());
            showStatusGroupName(*menu, action, group.name);
            action->setData(ModelJson::uuidText(group.id));
            connect(action, &QAction::triggered, this, [this, action] { menuOpenGroup(action->data().toString()); });
        }
    }
    menu->addSeparator();
    addCommand(QStringLiteral("menu.quit"), &AppDelegate::menuQuit, QKeySequence(Qt::META | Qt::Key_Q),
               {standardKey(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q))});
    m_statusItem->setMenu(menu.get());
    // The old menu may be on screen or in the middle of a command: let it go once control returns.
    if (m_statusMenu)
        m_statusMenu.release()->deleteLater();
    m_statusMenu = std::move(menu);
    attachCommandsToActiveWindow();
}

void AppDelegate::attachCommandsToActiveWindow()
{
    QWidget *window = QApplication::activeWindow();
    // The program's windows and its popup panel take the menu's keys (the popup keeps its own keys
    // first); menus keep theirs.
    if (!window || (window->windowType() != Qt::Window && window->windowType() != Qt::Tool))
        return;
    for (const QPointer<QAction> &command : std::as_const(m_statusCommands)) {
        if (command)
            window->addAction(command);
    }
}

void AppDelegate::updateStatusMenu(const QList<AppGroup> &groups)
{
    QList<StatusGroup> listed;
    listed.reserve(groups.size());
    for (const AppGroup &group : groups)
        listed.append({group.id, group.name});
    if (listed == m_statusGroups && m_statusMenu)
        return;
    // A name typed key by key changes one entry each time: the menu keeps its other entries.
    if (renameStatusGroups(listed))
        return;
    m_statusGroups = std::move(listed);
    buildStatusMenu();
}

bool AppDelegate::renameStatusGroups(const QList<StatusGroup> &groups)
{
    if (!m_statusMenu || groups.size() != m_statusGroups.size() || groups.isEmpty())
        return false;
    for (qsizetype i = 0; i < groups.size(); ++i) {
        if (groups.at(i).id != m_statusGroups.at(i).id)
            return false;
    }
    QList<QAction *> entries;
    for (QAction *action : m_statusMenu->actions()) {
        if (action->data().isValid())
            entries.append(action);
    }
    if (entries.size() != groups.size())
        return false;
    for (qsizetype i = 0; i < groups.size(); ++i) {
        if (groups.at(i).name != m_statusGroups.at(i).name)
            showStatusGroupName(*m_statusMenu, entries.at(i), groups.at(i).name);
    }
    m_statusGroups = groups;
    return true;
}

void AppDelegate::menuManageGroups()
{
    handleRoute(KestrowanRoute::main());
    // The window may be open on another page (the settings, an editor): managing groups is the
    // group list, so the page follows once the window is up, as a delivered route would.
    QTimer::singleShot(routeDeliveryDelay, Qt::PreciseTimer, this, [this] {
        qCDebug(appLogger, "Deferred group list navigation fired");
        if (navigateToGroupList)
            navigateToGroupList();
    });
}

void AppDelegate::menuOpenSettings()
{
    handleRoute(KestrowanRoute::settings());
}

void AppDelegate::menuCheckForUpdates()
{
    handleRoute(KestrowanRoute::settings());
    QTimer::singleShot(updateCheckDelay, Qt::PreciseTimer, this, [this] {
        if (!m_appUpdater)
            return;
        if (sendSignal)
            sendSignal(QStringLiteral("update.checked"), {});
        m_appUpdater->checkForUpdates();
    });
}

void AppDelegate::menuOpenGroup(const QString &representedObject)
{
    if (const std::optional<QUuid> id = ModelJson::uuidFromText(representedObject))
        handleRoute(KestrowanRoute::group(*id));
}

void AppDelegate::menuQuit()
{
    if (applicationWillTerminate)
        applicationWillTerminate();
    QCoreApplication::quit();
}
