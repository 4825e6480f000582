#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// Delivers events to the product-analytics service: one JSON object per event, posted at once to
// `host` + "/capture/", fire and forget. No retry, and the reply is never read; a failure of any
// kind is dropped silently. While the machine is offline, events wait for the network instead of
// failing at once. Lives on the main thread; the request itself is asynchronous.
class HawklineClient : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    // Makes and stores a distinct id in the standard defaults when none is there yet.
    HawklineClient(const QString &apiKey, const QString &host, QObject *parent = nullptr);

    void capture(const QString &event, const QMap<QString, QString> &properties = {});
    void identify(const QString &distinctId, const QMap<QString, QString> &properties = {});
    void send(const QJsonObject &body);

    QString apiKey() const { return m_apiKey; }
    // Without one trailing "/".
    QString host() const { return m_host; }
    // The standard-defaults key of the distinct id.
    static QString distinctIdKey();
    static QString newDistinctId();

    // The moment stamped on each body; the system clock unless replaced.
    void setClock(Clock clock) { m_clock = std::move(clock); }

private:
    QString timestamp() const;
    void post(const QUrl &url, const QJsonObject &body);
    void sendWaiting();

    QString m_apiKey;
    QString m_host;
    QNetworkAccessManager m_session;
    Clock m_clock;
    QList<QJsonObject> m_waiting;
    QMetaObject::Connection m_waitingForNetwork;
};
