#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// A small HTTP/1.1 server on 127.0.0.1 that records every request and answers with a chosen status
// (the next queued one, else the default) and a chosen body. With `holdAnswers` set, answers wait for
// `releaseHeld()`.
class LoopbackServer : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names lower-cased
        QByteArray body;
    };

    explicit LoopbackServer(QObject *parent = nullptr);
    ~LoopbackServer() override;

    QUrl baseURL() const;
    QList<Request> requests() const { return m_requests; }
    QList<Request> requestsTo(const QByteArray &path) const;
    void clear() { m_requests.clear(); }

    void queueStatus(int status) { m_statuses.append(status); }
    void setDefaultStatus(int status) { m_defaultStatus = status; }
    void setHoldAnswers(bool hold) { m_hold = hold; }
    void setAnswerBody(const QByteArray &body) { m_answerBody = body; }
    void releaseHeld();

private:
    struct Held
    {
        QPointer<QTcpSocket> socket;
        int status;
    };
    void readFrom(QTcpSocket *socket);
    void answer(QTcpSocket *socket, int status) const;

    QTcpServer m_server;
    QList<Request> m_requests;
    QList<int> m_statuses;
    int m_defaultStatus = 200;
    QByteArray m_answerBody = "{}";
    bool m_hold = false;
    QList<Held> m_held;
    QMap<QTcpSocket *, QByteArray> m_buffers;
};
