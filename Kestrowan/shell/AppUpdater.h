#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

// What the program knows of its own version and of where updates come from, read from its bundle
// information.
struct AppUpdateConfiguration {
    QString marketingVersion = QStringLiteral("0.0.0");
    QString buildNumber = QStringLiteral("0");
    std::optional<QString> feedURLString;
    std::optional<QString> publicEDKey;

    static AppUpdateConfiguration fromInfoDictionary(const QVariantMap &info);
    friend bool operator==(const AppUpdateConfiguration &, const AppUpdateConfiguration &) = default;
};

// The program's bundle information (version, build, update feed), shipped in its resources; an
// empty dictionary when it is missing or unreadable.
QVariantMap mainBundleInfoDictionary();

// Checks for updates on the user's request and on its own schedule. It exists only when the bundle
// information names both a feed and its signing key.
class UpdaterController final : public QObject {
    Q_OBJECT
public:
    UpdaterController(QString feedURL, QString publicEDKey, QObject *parent = nullptr);

    bool automaticallyChecksForUpdates() const { return m_automaticallyChecks; }
    void setAutomaticallyChecksForUpdates(bool on) { m_automaticallyChecks = on; }
    int updateCheckInterval() const { return m_checkInterval; }
    void setUpdateCheckInterval(int seconds) { m_checkInterval = seconds; }
    bool automaticallyDownloadsUpdates() const { return m_automaticallyDownloads; }
    void setAutomaticallyDownloadsUpdates(bool on) { m_automaticallyDownloads = on; }

    QString feedURL() const { return m_feedURL; }
    // A check the user asked for.
    void checkForUpdates();

signals:
    void checkStarted();

private:
    QString m_feedURL;
    QString m_publicEDKey;
    bool m_automaticallyChecks = false;
    int m_checkInterval = 86400;
    bool m_automaticallyDownloads = false;
};

class AppUpdater final : public QObject {
    Q_OBJECT
public:
    explicit AppUpdater(const AppUpdateConfiguration &configuration, QObject *parent = nullptr);
    ~AppUpdater() override;

    const AppUpdateConfiguration &configuration() const { return m_configuration; }
    // Absent: updates are switched off.
    UpdaterController *updaterController() const { return m_controller.get(); }

    // A user-initiated check through the controller; nothing without one. The callers send the
    // "update.checked" usage signal first.
    void checkForUpdates();

private:
    AppUpdateConfiguration m_configuration;
    std::unique_ptr<UpdaterController> m_controller;
};
