#pragma once

#include <QDateTime>
#include <QMap>
#include <QReadWriteLock>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

class DefaultsSuite;
class SignalHubConfiguration;
class SignalManageable;

// The centre of the usage-signal client: one hub is installed per process. Signals pass the public
// path (prefixes, reserved-name warnings) and the internal path (default parameters), then reach the
// signal manager on the main thread.
class SignalHub
{
public:
    enum class Mode {
        active,
        // A hub of a client that is not initialised: its manager keeps, reads and sends nothing.
        standBy,
    };

    explicit SignalHub(std::shared_ptr<SignalHubConfiguration> configuration, Mode mode = Mode::active);
    ~SignalHub();

    static void initialize(std::shared_ptr<SignalHubConfiguration> configuration);
    static void terminate();
    static bool isInitialized();
    // The installed hub, or else a new stand-by hub.
    static std::shared_ptr<SignalHub> shared();

    static void send(const QString &signalName, const QMap<QString, QString> &parameters = {});
    static void send(const QString &signalName, const std::optional<QString> &customUserID,
                     std::optional<double> floatValue, const QMap<QString, QString> &parameters);
    // Throttled: at most one accepted request per throttle interval starts a batch shortly after.
    static void requestImmediateSync();
    static void generateNewSession();
    static void updateDefaultUser(const std::optional<QString> &user);

    std::shared_ptr<SignalHubConfiguration> configuration() const;
    std::shared_ptr<SignalManageable> signalManager() const { return m_signalManager; }
    Mode mode() const { return m_mode; }
    QString hashedDefaultUser() const;

    // The client's own signals: default parameters added, no prefix on the name, no warnings about
    // the given parameters.
    static void internalSignal(const QString &signalName, const QMap<QString, QString> &parameters = {},
                               std::optional<double> floatValue = std::nullopt,
                               const std::optional<QString> &customUserID = std::nullopt);
    // The public path.
    static void checkedSignal(const QString &signalName, const QMap<QString, QString> &parameters,
                              std::optional<double> floatValue, const std::optional<QString> &customUserID);
    static QMap<QString, QString> prefixParameterKeys(const QMap<QString, QString> &parameters,
                                                      const SignalHubConfiguration &configuration);
    // The installed client's suite ("com.tallyline." + 12 hex characters); none before initialisation.
    static std::unique_ptr<DefaultsSuite> telemetryDefaultsSuite();
    static QString telemetryDefaultsSuiteName(const QString &telemetryAppID);
    static const QSet<QString> &reservedSignalNames();

private:
    static std::shared_ptr<SignalHub> installed();
    void scheduleFirstSession();

    mutable QReadWriteLock m_queue;
    std::shared_ptr<SignalHubConfiguration> m_configuration;
    // Absent: the distant past.
    std::optional<QDateTime> m_lastTimeImmediateSyncRequested;
    std::shared_ptr<SignalManageable> m_signalManager;
    Mode m_mode;
};
