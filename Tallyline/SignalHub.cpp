#include "Tallyline/SignalHub.h"

#include "Tallyline/DefaultsSuite.h"
#include "Tallyline/MainQueue.h"
#include "Tallyline/Sha256Hex.h"
#include "Tallyline/SignalHubConfiguration.h"
#include "Tallyline/SignalManager.h"
#include "Tallyline/SignalPlatform.h"
#include "Tallyline/SignalTimings.h"

#include <QCoreApplication>
#include <QUuid>

#include <mutex>

using Level = LogHandler::LogLevel;

namespace {

// The installed hub; reads share the lock, writes take it alone.
struct SignalHubStorage
{
    QReadWriteLock queue;
    std::shared_ptr<SignalHub> manager;
};

SignalHubStorage &storage()
{
    static SignalHubStorage instance;
    return instance;
}

// The hub owns objects of the application's thread, so it must go before the application does,
// not with the static storage after it.
void releaseInstalledHubAtExit()
{
    std::shared_ptr<SignalHub> released;
    QWriteLocker lock(&storage().queue);
    released.swap(storage().manager);
    lock.unlock();
}

void install(std::shared_ptr<SignalHub> hub)
{
    static std::once_flag registered;
    if (QCoreApplication::instance())
        std::call_once(registered, [] { qAddPostRoutine(releaseInstalledHubAtExit); });
    std::shared_ptr<SignalHub> previous;
    QWriteLocker lock(&storage().queue);
    previous.swap(storage().manager);
    storage().manager = std::move(hub);
    lock.unlock();
    // `previous` goes here, outside the lock.
}

bool isPreviewRun()
{
    return qgetenv("XCODE_RUNNING_FOR_PREVIEWS") == "1";
}

void warnAboutKey(const SignalHubConfiguration &configuration, const QString &key)
{
    const QString lowered = key.toLower();
    if (lowered.startsWith(QLatin1String("tallyline."))) {
        configuration.log(Level::error, QStringLiteral("Sending parameter with reserved key prefix 'Tallyline.' will cause "
                                                       "unexpected behavior. Please use another prefix instead."));
    } else if (SignalHub::reservedSignalNames().contains(lowered)) {
        configuration.log(Level::error, QStringLiteral("Sending parameter with reserved key '") + key
                                            + QStringLiteral("' will cause unexpected behavior. Please use another key instead."));
    }
}

} // namespace

SignalHub::SignalHub(std::shared_ptr<SignalHubConfiguration> configuration, Mode mode)
    : m_configuration(std::move(configuration))
    , m_mode(mode)
{
    m_signalManager = std::make_shared<SignalManager>(
        m_configuration, mode == Mode::active ? SignalManager::Mode::active : SignalManager::Mode::inert);
    if (mode == Mode::active)
        scheduleFirstSession();
}

SignalHub::~SignalHub() = default;

void SignalHub::scheduleFirstSession()
{
    dispatchToMainAfter(SignalTimings::current().firstSessionDelay,
                         [] { shared()->configuration()->setSessionID(QUuid::createUuid()); });
}

std::shared_ptr<SignalHub> SignalHub::installed()
{
    QReadLocker lock(&storage().queue);
    return storage().manager;
}

void SignalHub::initialize(std::shared_ptr<SignalHubConfiguration> configuration)
{
    install(std::make_shared<SignalHub>(std::move(configuration)));
}

void SignalHub::terminate()
{
    install(nullptr);
}

bool SignalHub::isInitialized()
{
    return installed() != nullptr;
}

std::shared_ptr<SignalHub> SignalHub::shared()
{
    if (auto hub = installed())
        return hub;
    auto standBy = std::make_shared<SignalHub>(std::make_shared<SignalHubConfiguration>(QString()), Mode::standBy);
    if (!isPreviewRun())
        return standBy;
    {
        QWriteLocker lock(&storage().queue);
        if (!storage().manager)
            storage().manager = standBy;
    }
    return installed();
}

std::shared_ptr<SignalHubConfiguration> SignalHub::configuration() const
{
    QWriteLocker lock(&m_queue);
    return m_configuration;
}

QString SignalHub::hashedDefaultUser() const
{
    return sha256Hex(m_signalManager->defaultUserIdentifier(), configuration()->salt());
}

void SignalHub::send(const QString &signalName, const QMap<QString, QString> &parameters)
{
    checkedSignal(signalName, parameters, std::nullopt, std::nullopt);
}

void SignalHub::send(const QString &signalName, const std::optional<QString> &customUserID,
                     std::optional<double> floatValue, const QMap<QString, QString> &parameters)
{
    checkedSignal(signalName, parameters, floatValue, customUserID);
}

void SignalHub::requestImmediateSync()
{
    const QDateTime now = SignalPlatform::current()->now();
    const auto hub = shared();
    const SignalTimings timings = SignalTimings::current();
    {
        QWriteLocker lock(&hub->m_queue);
        const auto &last = hub->m_lastTimeImmediateSyncRequested;
        if (last && last->msecsTo(now) <= timings.immediateSyncThrottle.count())
            return;
        hub->m_lastTimeImmediateSyncRequested = now;
    }
    std::weak_ptr<SignalManageable> manager = hub->m_signalManager;
    dispatchToMainAfter(timings.immediateSyncDelay, [manager] {
        if (const auto alive = manager.lock())
            alive->sendCachedSignalBatch();
    });
}

void SignalHub::generateNewSession()
{
    shared()->configuration()->setSessionID(QUuid::createUuid());
}

void SignalHub::updateDefaultUser(const std::optional<QString> &user)
{
    shared()->configuration()->setDefaultUser(user);
}

QMap<QString, QString> SignalHub::prefixParameterKeys(const QMap<QString, QString> &parameters,
                                                      const SignalHubConfiguration &configuration)
{
    const QString prefix = configuration.defaultParameterPrefix().value_or(QString());
    QMap<QString, QString> prefixed;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        if (it.key().startsWith(QLatin1String("Tallyline.")))
            prefixed.insert(it.key(), it.value());
        else
            prefixed.insert(prefix + it.key(), it.value());
    }
    return prefixed;
}

void SignalHub::checkedSignal(const QString &signalName, const QMap<QString, QString> &parameters,
                              std::optional<double> floatValue, const std::optional<QString> &customUserID)
{
    const auto configuration = shared()->configuration();
    if (configuration->swiftUIPreviewMode() || configuration->analyticsDisabled())
        return;
    const QString name = configuration->defaultSignalPrefix().value_or(QString()) + signalName;
    const QMap<QString, QString> prefixed = prefixParameterKeys(parameters, *configuration);
    if (configuration->reservedParameterWarningsEnabled()) {
        const QString lowered = name.toLower();
        if (lowered.startsWith(QLatin1String("tallyline."))) {
            configuration->log(Level::error, QStringLiteral("Sending signal with reserved prefix 'Tallyline.' will cause "
                                                            "unexpected behavior. Please use another prefix instead."));
        } else if (reservedSignalNames().contains(lowered)) {
            configuration->log(Level::error, QStringLiteral("Sending signal with reserved name '") + name
                                                 + QStringLiteral("' will cause unexpected behavior. Please use another name instead."));
        }
        for (auto it = prefixed.cbegin(); it != prefixed.cend(); ++it)
            warnAboutKey(*configuration, it.key());
    }
    internalSignal(name, prefixed, floatValue, customUserID);
}

void SignalHub::internalSignal(const QString &signalName, const QMap<QString, QString> &parameters,
                               std::optional<double> floatValue, const std::optional<QString> &customUserID)
{
    const auto hub = shared();
    const auto configuration = hub->configuration();
    if (configuration->swiftUIPreviewMode() || configuration->analyticsDisabled())
        return;
    const QMap<QString, QString> defaults = prefixParameterKeys(configuration->defaultParameters()(), *configuration);
    QMap<QString, QString> merged = defaults;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        merged.insert(it.key(), it.value());
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        warnAboutKey(*configuration, it.key());

    const auto manager = hub->signalManager();
    dispatchToMain([manager, signalName, merged, floatValue, customUserID, configuration] {
        manager->queueSignalForSending(signalName, merged, floatValue, customUserID, configuration);
    });
}

QString SignalHub::telemetryDefaultsSuiteName(const QString &telemetryAppID)
{
    return QStringLiteral("com.tallyline.") + sha256Hex(telemetryAppID).right(12);
}

std::unique_ptr<DefaultsSuite> SignalHub::telemetryDefaultsSuite()
{
    const auto hub = installed();
    if (!hub || hub->mode() != Mode::active)
        return nullptr;
    return DefaultsSuite::open(telemetryDefaultsSuiteName(hub->configuration()->telemetryAppID()));
}

const QSet<QString> &SignalHub::reservedSignalNames()
{
    static const QSet<QString> names = [] {
        const char *const list[] = {"type", "clientUser", "appID", "sessionID", "floatValue", "newSessionBegan",
                                    "platform", "systemVersion", "majorSystemVersion", "majorMinorSystemVersion",
                                    "appVersion", "buildNumber", "isSimulator", "isDebug", "isTestFlight",
                                    "isAppStore", "modelName", "architecture", "operatingSystem",
                                    "targetEnvironment", "locale", "region", "appLanguage", "preferredLanguage",
                                    "telemetryClientVersion"};
        QSet<QString> set;
        for (const char *name : list)
            set.insert(QString::fromLatin1(name).toLower());
        return set;
    }();
    return names;
}
