#include "Kestrowan/mainwindow/SettingsModel.h"

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/dock/PermissionManagerInterface.h"
#include "Kestrowan/groups/SettingsValues.h"
#include "Kestrowan/mainwindow/SettingsReset.h"
#include "Kestrowan/shell/AppUpdater.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/LaunchAtLogin.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Platform/ApplicationActivation.h"
#include "Platform/UserDefaults.h"
#include "analytics/NVLXAnalytics.h"

#include <QCoreApplication>

namespace {

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

UserDefaults &defaults()
{
    return UserDefaults::standard();
}

} // namespace

QList<SettingsModel::Language> SettingsModel::languages()
{
    return {
        {QStringLiteral("system"), localized(QStringLiteral("settings.language.system"))},
        {QStringLiteral("en"), QStringLiteral("English")},
        {QStringLiteral("es"), QStringLiteral("Español")},
        {QStringLiteral("ja"), QStringLiteral("日本語")},
        {QStringLiteral("pt-BR"), QStringLiteral("Português (Brasil)")},
        {QStringLiteral("zh-Hans"), QStringLiteral("简体中文")},
    };
}

SettingsModel::SettingsModel(AppUpdater *appUpdater, GroupManager *groupManager,
                             PermissionManagerInterface *permissionManager, QObject *parent)
    : QObject(parent)
    , m_appUpdater(appUpdater)
    , m_permissionManager(permissionManager)
    , m_send([](const QString &name, const QMap<QString, QString> &parameters) { NVLXAnalytics::signal(name, parameters); })
    , m_programPath(QCoreApplication::applicationFilePath())
    , m_launchAtLogin(LaunchAtLogin::isEnabled())
    , m_reset(new SettingsReset(groupManager, this))
{
    // Reactions to the stored values, whatever changed them; none runs for the value at opening.
    watch(AppSettings::showInDockKey, [this] {
        const bool on = showInDock();
        // The page sets the Dock icon itself, even while the main window is open.
        ApplicationActivation::shared().setActivationPolicy(on ? ApplicationActivation::Policy::Regular
                                                               : ApplicationActivation::Policy::Accessory);
        send(QStringLiteral("show_in_dock"), boolText(on));
    });
    watch(AppSettings::autoSyncEnabledKey, [this] { send(QStringLiteral("auto_sync"), boolText(autoSyncEnabled())); });
    watch(AppSettings::autoRefreshDockLabelKey,
          [this] { send(QStringLiteral("auto_refresh_dock_label"), boolText(autoRefreshDockLabel())); });
    for (const QString &key : {AppSettings::interactionModeKey, AppSettings::clickModeBehaviorKey,
                               AppSettings::appearanceModeKey, AppSettings::didCompleteOnboardingKey})
        watch(key, {});
    if (m_permissionManager) {
        connect(m_permissionManager, &PermissionManagerInterface::accessibilityGrantedChanged, this,
                [this](bool granted) {
                    applyPendingHover(granted);
                    emit changed();
                });
    }
    connect(&LanguageManager::shared(), &LanguageManager::currentLanguageChanged, this, &SettingsModel::changed);
    connect(m_reset, &SettingsReset::runningChanged, this, &SettingsModel::changed);
}

SettingsModel::~SettingsModel() = default;

void SettingsModel::watch(const QString &key, std::function<void()> reaction)
{
    defaults().observe(key, this, [this, reaction = std::move(reaction)] {
        if (reaction)
            reaction();
        emit changed();
    });
}

void SettingsModel::send(const QString &setting, const QString &value)
{
    if (m_send)
        m_send(QStringLiteral("settings.changed"), {{QStringLiteral("setting"), setting}, {QStringLiteral("value"), value}});
}

void SettingsModel::setLaunchAtLogin(bool on)
{
    const std::optional<QString> failure = LaunchAtLogin::setLaunchAtLogin(on, m_programPath);
    // The switch shows what the entry now says: a change that failed leaves it where it was, and the
    // page says why.
    m_launchAtLogin = LaunchAtLogin::isEnabled();
    m_launchAtLoginFailure = failure ? std::optional(localizedFormat(QStringLiteral("settings.launchAtLogin.failed"), {*failure}))
                                     : std::nullopt;
    send(QStringLiteral("launch_at_login"), boolText(on));
    emit changed();
}

bool SettingsModel::showInDock() const
{
    return AppSettings::showInDock(defaults());
}

void SettingsModel::setShowInDock(bool on)
{
    defaults().setValue(AppSettings::showInDockKey, on);
}

QString SettingsModel::appearanceMode() const
{
    return AppSettings::appearanceMode(defaults());
}

void SettingsModel::selectAppearance(const QString &mode)
{
    defaults().setValue(AppSettings::appearanceModeKey, mode);
    send(QStringLiteral("appearance"), mode);
}

QString SettingsModel::language() const
{
    return LanguageManager::shared().currentLanguage();
}

void SettingsModel::selectLanguage(const QString &id)
{
    LanguageManager::shared().setCurrentLanguage(id);
    emit changed();
}

QString SettingsModel::interactionMode() const
{
    return AppSettings::interactionMode(defaults());
}

QString SettingsModel::clickModeBehavior() const
{
    return AppSettings::clickModeBehavior(defaults());
}

bool SettingsModel::isAccessibilityGranted() const
{
    return m_permissionManager && m_permissionManager->isAccessibilityGranted();
}

void SettingsModel::selectClickMode()
{
    defaults().setValue(AppSettings::interactionModeKey, QStringLiteral("click"));
    send(QStringLiteral("interaction_mode"), QStringLiteral("click"));
}

void SettingsModel::selectHoverMode()
{
    if (isAccessibilityGranted()) {
        defaults().setValue(AppSettings::interactionModeKey, QStringLiteral("hover"));
        return;
    }
    m_pendingHover = true;
    if (m_permissionManager)
        m_permissionManager->requestAccessibility();
    emit changed();
}

void SettingsModel::applyPendingHover(bool granted)
{
    if (!granted || !m_pendingHover)
        return;
    defaults().setValue(AppSettings::interactionModeKey, QStringLiteral("hover"));
    m_pendingHover = false;
}

void SettingsModel::selectClickBehavior(bool enhanced)
{
    const QString value = enhanced ? QStringLiteral("enhanced") : QStringLiteral("native");
    defaults().setValue(AppSettings::clickModeBehaviorKey, value);
    send(QStringLiteral("click_behavior"), value);
}

bool SettingsModel::autoSyncEnabled() const
{
    return AppSettings::autoSyncEnabled(defaults());
}

void SettingsModel::setAutoSyncEnabled(bool on)
{
    defaults().setValue(AppSettings::autoSyncEnabledKey, on);
}

bool SettingsModel::autoRefreshDockLabel() const
{
    return AppSettings::autoRefreshDockLabel(defaults());
}

void SettingsModel::setAutoRefreshDockLabel(bool on)
{
    defaults().setValue(AppSettings::autoRefreshDockLabelKey, on);
}

bool SettingsModel::automaticallyChecksForUpdates() const
{
    const UpdaterController *controller = m_appUpdater ? m_appUpdater->updaterController() : nullptr;
    return controller && controller->automaticallyChecksForUpdates();
}

void SettingsModel::setAutomaticallyChecksForUpdates(bool on)
{
    if (UpdaterController *controller = m_appUpdater ? m_appUpdater->updaterController() : nullptr)
        controller->setAutomaticallyChecksForUpdates(on);
    emit changed();
}

bool SettingsModel::canCheckForUpdates() const
{
    return m_appUpdater && m_appUpdater->updaterController();
}

void SettingsModel::checkForUpdates()
{
    if (m_send)
        m_send(QStringLiteral("update.checked"), {});
    if (m_appUpdater)
        m_appUpdater->checkForUpdates();
}

QString SettingsModel::version() const
{
    return m_appUpdater ? m_appUpdater->configuration().marketingVersion : QStringLiteral("0.0.0");
}

QString SettingsModel::dockPositionText() const
{
    switch (DockPositionResolver::currentDockPosition()) {
    case DockPosition::Left:
        return localized(QStringLiteral("settings.dockPosition.left"));
    case DockPosition::Right:
        return localized(QStringLiteral("settings.dockPosition.right"));
    case DockPosition::Bottom:
        break;
    }
    return localized(QStringLiteral("settings.dockPosition.bottom"));
}

QString SettingsModel::dockAutoHideText() const
{
    return localized(DockPositionResolver::dockAutohides() ? QStringLiteral("settings.yes") : QStringLiteral("settings.no"));
}
