#include "analytics/HawklineClient.h"

#include "Platform/NetworkReachability.h"
#include "Platform/UserDefaults.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUuid>

#include <utility>

namespace {

// A request given up after this long without a byte either way, so that a service that has stopped
// answering holds no connection for longer.
constexpr int requestTimeoutMilliseconds = 10000;
// Events made while the machine is offline wait for the network, this many at most.
constexpr qsizetype maximumWaitingEvents = 100;

} // namespace

HawklineClient::HawklineClient(const QString &apiKey, const QString &host, QObject *parent)
    : QObject(parent)
    , m_apiKey(apiKey)
    , m_host(host.endsWith(QLatin1Char('/')) ? host.chopped(1) : host)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    UserDefaults &defaults = UserDefaults::standard();
    if (defaults.value(distinctIdKey()).typeId() != QMetaType::QString)
        defaults.setValue(distinctIdKey(), newDistinctId());
}

QString HawklineClient::distinctIdKey()
{
    return QStringLiteral("nvlx_hawkline_distinct_id");
}

QString HawklineClient::newDistinctId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString HawklineClient::timestamp() const
{
    // Internet date-time in UTC, whole seconds, ending in Z.
    return m_clock().toUTC().toString(Qt::ISODate);
}

void HawklineClient::capture(const QString &event, const QMap<QString, QString> &properties)
{
    QJsonObject props;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        props.insert(it.key(), it.value());
    props.insert(QStringLiteral("$lib"), QStringLiteral("nvlx-analytics"));
    props.insert(QStringLiteral("$lib_version"), QStringLiteral("1.0.0"));

    const QVariant stored = UserDefaults::standard().value(distinctIdKey());
    const QString distinctId = stored.typeId() == QMetaType::QString ? stored.toString() : newDistinctId();

    send(QJsonObject{{QStringLiteral("api_key"), m_apiKey},
                     {QStringLiteral("event"), event},
                     {QStringLiteral("properties"), props},
                     {QStringLiteral("distinct_id"), distinctId},
                     {QStringLiteral("timestamp"), timestamp()}});
}

void HawklineClient::identify(const QString &distinctId, const QMap<QString, QString> &properties)
{
    UserDefaults &defaults = UserDefaults::standard();
    const QVariant stored = defaults.value(distinctIdKey());
    const QString previousId = stored.typeId() == QMetaType::QString ? stored.toString() : newDistinctId();
    defaults.setValue(distinctIdKey(), distinctId);

    QJsonObject set;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        set.insert(it.key(), it.value());
    set.insert(QStringLiteral("$lib"), QStringLiteral("nvlx-analytics"));

    send(QJsonObject{{QStringLiteral("api_key"), m_apiKey},
                     {QStringLiteral("event"), QStringLiteral("$identify")},
                     {QStringLiteral("properties"),
                      QJsonObject{{QStringLiteral("$anon_distinct_id"), previousId}, {QStringLiteral("$set"), set}}},
                     {QStringLiteral("distinct_id"), distinctId},
                     {QStringLiteral("timestamp"), timestamp()}});
}

void HawklineClient::send(const QJsonObject &body)
{
    const QUrl url(m_host + QStringLiteral("/capture/"), QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return;
    NetworkReachability &network = NetworkReachability::shared();
    if (!network.isOnline()) {
        // Sent once the network is back rather than failing at once; never twice.
        if (m_waiting.size() < maximumWaitingEvents)
            m_waiting.append(body);
        if (!m_waitingForNetwork) {
            m_waitingForNetwork = connect(&network, &NetworkReachability::onlineChanged, this, [this](bool online) {
                if (online)
                    sendWaiting();
            });
        }
        return;
    }
    post(url, body);
}

void HawklineClient::sendWaiting()
{
    disconnect(m_waitingForNetwork);
    m_waitingForNetwork = {};
    const QList<QJsonObject> waiting = std::exchange(m_waiting, {});
    for (const QJsonObject &body : waiting)
        send(body);
}

void HawklineClient::post(const QUrl &url, const QJsonObject &body)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(requestTimeoutMilliseconds);
    QNetworkReply *reply = m_session.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}
