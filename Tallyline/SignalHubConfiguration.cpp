#include "Tallyline/SignalHubConfiguration.h"

#include "Tallyline/SessionStatisticsSource.h"
#include "Tallyline/SignalHub.h"

namespace {

QMutex defaultURLMutex;
// No real service is configured into the client itself; the host sets its own.
QUrl configuredDefaultURL(QStringLiteral("https://ingest.tallyline.invalid"));

} // namespace

SignalHubConfiguration::SignalHubConfiguration(const QString &appID, const std::optional<QString> &salt,
                                               const std::optional<QUrl> &baseURL,
                                               const std::optional<QString> &namespaceName)
    : m_telemetryAppID(appID)
    , m_apiBaseURL(baseURL.value_or(defaultAPIBaseURL()))
    , m_namespace(namespaceName)
    , m_salt(salt.value_or(QString()))
    , m_defaultParameters([] { return QMap<QString, QString>(); })
    , m_sessionID(QUuid::createUuid())
    , m_logHandler(LogHandler::standard(LogHandler::LogLevel::info))
{
}

QUrl SignalHubConfiguration::defaultAPIBaseURL()
{
    QMutexLocker lock(&defaultURLMutex);
    return configuredDefaultURL;
}

void SignalHubConfiguration::setDefaultAPIBaseURL(const QUrl &url)
{
    QMutexLocker lock(&defaultURLMutex);
    configuredDefaultURL = url;
}

SignalHubConfiguration::ParameterProvider SignalHubConfiguration::defaultParameters() const
{
    QMutexLocker lock(&m_mutex);
    return m_defaultParameters;
}

void SignalHubConfiguration::setDefaultParameters(ParameterProvider value)
{
    QMutexLocker lock(&m_mutex);
    m_defaultParameters = value ? std::move(value) : [] { return QMap<QString, QString>(); };
}

QUuid SignalHubConfiguration::sessionID() const
{
    QMutexLocker lock(&m_mutex);
    return m_sessionID;
}

void SignalHubConfiguration::setSessionID(const QUuid &value)
{
    bool statsEnabled = false;
    bool sendStarted = false;
    {
        QMutexLocker lock(&m_mutex);
        m_sessionID = value;
        statsEnabled = m_sessionStatsEnabled;
        sendStarted = m_sendNewSessionBeganSignal;
    }
    if (statsEnabled) {
        if (SessionStatisticsSource *statistics = SessionStatisticsSource::shared())
            statistics->beginSessionStats();
    }
    if (sendStarted)
        SignalHub::internalSignal(QStringLiteral("Tallyline.Session.started"));
}

bool SignalHubConfiguration::testMode() const
{
    QMutexLocker lock(&m_mutex);
    return m_testMode.value_or(false);
}

void SignalHubConfiguration::setTestMode(bool value)
{
    QMutexLocker lock(&m_mutex);
    m_testMode = value;
}

bool SignalHubConfiguration::swiftUIPreviewMode() const
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_swiftUIPreviewMode)
            return *m_swiftUIPreviewMode;
    }
    return qgetenv("XCODE_RUNNING_FOR_PREVIEWS") == "1";
}

void SignalHubConfiguration::setSwiftUIPreviewMode(bool value)
{
    QMutexLocker lock(&m_mutex);
    m_swiftUIPreviewMode = value;
}

void SignalHubConfiguration::log(LogHandler::LogLevel level, const QString &message) const
{
    tallylineLog(logHandler(), level, message);
}

QString SignalHubConfiguration::telemetryAppID() const
{
    QMutexLocker lock(&m_mutex);
    return m_telemetryAppID;
}

void SignalHubConfiguration::setTelemetryAppID(const QString &value)
{
    QMutexLocker lock(&m_mutex);
    m_telemetryAppID = value;
}

QUrl SignalHubConfiguration::apiBaseURL() const
{
    QMutexLocker lock(&m_mutex);
    return m_apiBaseURL;
}

void SignalHubConfiguration::setApiBaseURL(const QUrl &value)
{
    QMutexLocker lock(&m_mutex);
    m_apiBaseURL = value;
}

std::optional<QString> SignalHubConfiguration::namespaceName() const
{
    QMutexLocker lock(&m_mutex);
    return m_namespace;
}

void SignalHubConfiguration::setNamespaceName(const std::optional<QString> &value)
{
    QMutexLocker lock(&m_mutex);
    m_namespace = value;
}

QString SignalHubConfiguration::salt() const
{
    QMutexLocker lock(&m_mutex);
    return m_salt;
}

void SignalHubConfiguration::setSalt(const QString &value)
{
    QMutexLocker lock(&m_mutex);
    m_salt = value;
}

std::optional<QString> SignalHubConfiguration::defaultUser() const
{
    QMutexLocker lock(&m_mutex);
    return m_defaultUser;
}

void SignalHubConfiguration::setDefaultUser(const std::optional<QString> &value)
{
    QMutexLocker lock(&m_mutex);
    m_defaultUser = value;
}

std::optional<QString> SignalHubConfiguration::defaultSignalPrefix() const
{
    QMutexLocker lock(&m_mutex);
    return m_defaultSignalPrefix;
}

void SignalHubConfiguration::setDefaultSignalPrefix(const std::optional<QString> &value)
{
    QMutexLocker lock(&m_mutex);
    m_defaultSignalPrefix = value;
}

std::optional<QString> SignalHubConfiguration::defaultParameterPrefix() const
{
    QMutexLocker lock(&m_mutex);
    return m_defaultParameterPrefix;
}

void SignalHubConfiguration::setDefaultParameterPrefix(const std::optional<QString> &value)
{
    QMutexLocker lock(&m_mutex);
    m_defaultParameterPrefix = value;
}

bool SignalHubConfiguration::sendNewSessionBeganSignal() const
{
    QMutexLocker lock(&m_mutex);
    return m_sendNewSessionBeganSignal;
}

void SignalHubConfiguration::setSendNewSessionBeganSignal(bool value)
{
    QMutexLocker lock(&m_mutex);
    m_sendNewSessionBeganSignal = value;
}

bool SignalHubConfiguration::sendSignalsInDebugConfiguration() const
{
    QMutexLocker lock(&m_mutex);
    return m_sendSignalsInDebugConfiguration;
}

void SignalHubConfiguration::setSendSignalsInDebugConfiguration(bool value)
{
    QMutexLocker lock(&m_mutex);
    m_sendSignalsInDebugConfiguration = value;
}

bool SignalHubConfiguration::analyticsDisabled() const
{
    QMutexLocker lock(&m_mutex);
    return m_analyticsDisabled;
}

void SignalHubConfiguration::setAnalyticsDisabled(bool value)
{
    QMutexLocker lock(&m_mutex);
    m_analyticsDisabled = value;
}

bool SignalHubConfiguration::reservedParameterWarningsEnabled() const
{
    QMutexLocker lock(&m_mutex);
    return m_reservedParameterWarningsEnabled;
}

void SignalHubConfiguration::setReservedParameterWarningsEnabled(bool value)
{
    QMutexLocker lock(&m_mutex);
    m_reservedParameterWarningsEnabled = value;
}

bool SignalHubConfiguration::sessionStatsEnabled() const
{
    QMutexLocker lock(&m_mutex);
    return m_sessionStatsEnabled;
}

void SignalHubConfiguration::setSessionStatsEnabled(bool value)
{
    QMutexLocker lock(&m_mutex);
    m_sessionStatsEnabled = value;
}

bool SignalHubConfiguration::showDebugLogs() const
{
    QMutexLocker lock(&m_mutex);
    return m_showDebugLogs;
}

void SignalHubConfiguration::setShowDebugLogs(bool value)
{
    QMutexLocker lock(&m_mutex);
    m_showDebugLogs = value;
}

std::optional<LogHandler> SignalHubConfiguration::logHandler() const
{
    QMutexLocker lock(&m_mutex);
    return m_logHandler;
}

void SignalHubConfiguration::setLogHandler(const std::optional<LogHandler> &value)
{
    QMutexLocker lock(&m_mutex);
    m_logHandler = value;
}

QList<std::shared_ptr<const SignalEnricher>> SignalHubConfiguration::metadataEnrichers() const
{
    QMutexLocker lock(&m_mutex);
    return m_metadataEnrichers;
}

void SignalHubConfiguration::setMetadataEnrichers(const QList<std::shared_ptr<const SignalEnricher>> &value)
{
    QMutexLocker lock(&m_mutex);
    m_metadataEnrichers = value;
}
