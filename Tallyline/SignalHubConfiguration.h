#pragma once

#include "Tallyline/LogHandler.h"
#include "Tallyline/SignalEnricher.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

// Everything that shapes the usage-signal client. One instance is shared by reference between the
// hub and its manager, and later changes take effect with the next signal. Every field is guarded,
// so it may be read and written from any thread. Setting `sessionID` begins a new session.
class SignalHubConfiguration
{
public:
    using ParameterProvider = std::function<QMap<QString, QString>()>;

    explicit SignalHubConfiguration(const QString &appID, const std::optional<QString> &salt = std::nullopt,
                                    const std::optional<QUrl> &baseURL = std::nullopt,
                                    const std::optional<QString> &namespaceName = std::nullopt);

    // The ingestion service used when no base URL is given; build configuration of the host.
    static QUrl defaultAPIBaseURL();
    static void setDefaultAPIBaseURL(const QUrl &url);

    QString telemetryAppID() const;
    void setTelemetryAppID(const QString &value);
    QUrl apiBaseURL() const;
    void setApiBaseURL(const QUrl &value);
    std::optional<QString> namespaceName() const;
    void setNamespaceName(const std::optional<QString> &value);
    QString salt() const;
    void setSalt(const QString &value);
    std::optional<QString> defaultUser() const;
    void setDefaultUser(const std::optional<QString> &value);
    std::optional<QString> defaultSignalPrefix() const;
    void setDefaultSignalPrefix(const std::optional<QString> &value);
    std::optional<QString> defaultParameterPrefix() const;
    void setDefaultParameterPrefix(const std::optional<QString> &value);
    ParameterProvider defaultParameters() const;
    void setDefaultParameters(ParameterProvider value);
    bool sendNewSessionBeganSignal() const;
    void setSendNewSessionBeganSignal(bool value);
    QUuid sessionID() const;
    // Stores the session, then starts its statistics and sends "Tallyline.Session.started" as the
    // flags say at this moment.
    void setSessionID(const QUuid &value);
    bool sendSignalsInDebugConfiguration() const;
    void setSendSignalsInDebugConfiguration(bool value);
    bool telemetryAllowDebugBuilds() const { return sendSignalsInDebugConfiguration(); }
    void setTelemetryAllowDebugBuilds(bool value) { setSendSignalsInDebugConfiguration(value); }
    bool testMode() const;
    void setTestMode(bool value);
    // Explicit value, else whether the environment marks a preview run ("XCODE_RUNNING_FOR_PREVIEWS"=1).
    bool swiftUIPreviewMode() const;
    void setSwiftUIPreviewMode(bool value);
    bool analyticsDisabled() const;
    void setAnalyticsDisabled(bool value);
    bool reservedParameterWarningsEnabled() const;
    void setReservedParameterWarningsEnabled(bool value);
    bool sessionStatsEnabled() const;
    void setSessionStatsEnabled(bool value);
    bool showDebugLogs() const;
    void setShowDebugLogs(bool value);
    std::optional<LogHandler> logHandler() const;
    void setLogHandler(const std::optional<LogHandler> &value);
    QList<std::shared_ptr<const SignalEnricher>> metadataEnrichers() const;
    void setMetadataEnrichers(const QList<std::shared_ptr<const SignalEnricher>> &value);

    void log(LogHandler::LogLevel level, const QString &message) const;

private:
    mutable QMutex m_mutex;
    QString m_telemetryAppID;
    QUrl m_apiBaseURL;
    std::optional<QString> m_namespace;
    QString m_salt;
    std::optional<QString> m_defaultUser;
    std::optional<QString> m_defaultSignalPrefix;
    std::optional<QString> m_defaultParameterPrefix;
    ParameterProvider m_defaultParameters;
    bool m_sendNewSessionBeganSignal = true;
    QUuid m_sessionID;
    bool m_sendSignalsInDebugConfiguration = false;
    std::optional<bool> m_testMode;
    std::optional<bool> m_swiftUIPreviewMode;
    bool m_analyticsDisabled = false;
    bool m_reservedParameterWarningsEnabled = true;
    bool m_sessionStatsEnabled = true;
    bool m_showDebugLogs = false;
    std::optional<LogHandler> m_logHandler;
    QList<std::shared_ptr<const SignalEnricher>> m_metadataEnrichers;
};
