#include "tests/support/LoopbackServer.h"

#include <QHostAddress>

LoopbackServer::LoopbackServer(QObject *parent)
    : QObject(parent)
{
    m_server.listen(QHostAddress::LocalHost);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_buffers.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

LoopbackServer::~LoopbackServer()
{
    // Closing sockets reports disconnections; they must not reach members already gone.
    const auto sockets = m_server.findChildren<QTcpSocket *>();
    for (QTcpSocket *socket : sockets)
        socket->disconnect(this);
}

QUrl LoopbackServer::baseURL() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
}

QList<LoopbackServer::Request> LoopbackServer::requestsTo(const QByteArray &path) const
{
    QList<Request> found;
    for (const Request &request : m_requests) {
        if (request.path == path)
            found.append(request);
    }
    return found;
}

void LoopbackServer::readFrom(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        Request request;
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.remove(0, headerEnd + 4 + length);
        m_requests.append(request);

        const int status = m_statuses.isEmpty() ? m_defaultStatus : m_statuses.takeFirst();
        if (m_hold)
            m_held.append(Held{socket, status});
        else
            answer(socket, status);
    }
}

void LoopbackServer::releaseHeld()
{
    const QList<Held> held = std::exchange(m_held, {});
    for (const Held &entry : held) {
        if (entry.socket)
            answer(entry.socket, entry.status);
    }
}

void LoopbackServer::answer(QTcpSocket *socket, int status) const
{
    const QByteArray &body = m_answerBody;
    socket->write("HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Type: application/json\r\nContent-Length: "
                  + QByteArray::number(body.size()) + "\r\n\r\n" + body);
}
