#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class AppUpdater;
class GroupManager;
class PermissionManagerInterface;
class SettingsReset;

// What the settings page reads and changes, apart from its widgets: the stored settings with their
// defaults, the switches that live elsewhere (launch at login, the updater's automatic checks, the
// interface language), the Dock facts of the about section, and the reset. Every change the user
// makes is reported with "settings.changed" {"setting", "value"} as the page's sections say; the
// stored values are watched while the model lives, so a change made by anything (the reset
// included) is reported once.
class SettingsModel final : public QObject {
    Q_OBJECT
public:
    using SignalSender = std::function<void(const QString &name, const QMap<QString, QString> &parameters)>;

    struct Language {
        QString id;
        QString label;
    };
    // The languages offered, in order: each language by its own name, the same in every interface
    // language, and the entry that follows the system in the interface's language.
    static QList<Language> languages();

    SettingsModel(AppUpdater *appUpdater, GroupManager *groupManager, PermissionManagerInterface *permissionManager,
                  QObject *parent = nullptr);
    ~SettingsModel() override;

    // The usage-signal channel (the analytics facade unless a test replaces it).
    void setSignalSender(SignalSender sender) { m_send = std::move(sender); }
    // The program registered as a login item; the running executable unless a test sets another.
    void setProgramPath(const QString &path) { m_programPath = path; }

    // General.
    bool launchAtLogin() const { return m_launchAtLogin; }
    void setLaunchAtLogin(bool on);
    // Why the last change of launch at login did not happen, for the page to show; nothing after one
    // that did.
    std::optional<QString> launchAtLoginFailure() const { return m_launchAtLoginFailure; }
    bool showInDock() const;
    void setShowInDock(bool on);
    QString appearanceMode() const;
    void selectAppearance(const QString &mode);
    QString language() const;
    void selectLanguage(const QString &id);

    // Interaction.
    QString interactionMode() const;
    QString clickModeBehavior() const;
    bool isAccessibilityGranted() const;
    bool pendingHoverAfterPermission() const { return m_pendingHover; }
    void selectClickMode();
    void selectHoverMode();
    void selectClickBehavior(bool enhanced);

    // Dock sync and updates.
    bool autoSyncEnabled() const;
    void setAutoSyncEnabled(bool on);
    bool autoRefreshDockLabel() const;
    void setAutoRefreshDockLabel(bool on);
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool on);
    bool canCheckForUpdates() const;
    void checkForUpdates();

    // About.
    QString version() const;
    // Looked-up texts of the Dock's edge and auto-hide, read afresh.
    QString dockPositionText() const;
    QString dockAutoHideText() const;

    // Reset.
    SettingsReset &reset() { return *m_reset; }

signals:
    // Something the page shows may have changed; it reads everything again.
    void changed();

private:
    void send(const QString &setting, const QString &value);
    void watch(const QString &key, std::function<void()> reaction);
    void applyPendingHover(bool granted);

    AppUpdater *m_appUpdater;
    PermissionManagerInterface *m_permissionManager;
    SignalSender m_send;
    QString m_programPath;
    bool m_launchAtLogin = false;
    std::optional<QString> m_launchAtLoginFailure;
    bool m_pendingHover = false;
    SettingsReset *m_reset;
};
