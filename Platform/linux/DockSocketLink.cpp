#include "Platform/linux/DockSocketLink.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <limits>
#include <poll.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(dockSocketLog, "com.kestrowan.app.dock")

// The longest any request waits, whatever the caller asks: Qt reads a negative timeout as "for
// ever", and a Dock that has stopped answering must not hang its client.
constexpr int longestWait = 30000;

int boundedWait(int timeoutMilliseconds, int fallback)
{
    return timeoutMilliseconds < 0 ? fallback : qMin(timeoutMilliseconds, longestWait);
}

} // namespace

DockSocketLink::DockSocketLink(QObject *parent)
    : QObject(parent)
{
    connect(&m_socket, &QLocalSocket::readyRead, this, &DockSocketLink::readAvailable);
    connect(&m_socket, &QLocalSocket::connected, this, &DockSocketLink::connectionMade);
    connect(&m_socket, &QLocalSocket::disconnected, this, &DockSocketLink::failAsked);
    connect(&m_socket, &QLocalSocket::disconnected, this, &DockSocketLink::disconnected);
    // A connection that never came about (no Dock, or it went away while connecting).
    connect(&m_socket, &QLocalSocket::errorOccurred, this, [this] {
        if (m_socket.state() != QLocalSocket::ConnectedState)
            failAsked();
    });
}

DockSocketLink::~DockSocketLink()
{
    m_socket.disconnect(this);
    m_socket.abort();
}

bool DockSocketLink::connectToDock(int timeoutMilliseconds)
{
    if (isConnected())
        return true;
    m_socket.abort();
    m_reader = DockWire::FrameReader();
    m_socket.connectToServer(DockWire::socketPath());
    if (!m_socket.waitForConnected(boundedWait(timeoutMilliseconds, 1000))) {
        m_socket.abort();
        return false;
    }
    return isConnected();
}

bool DockSocketLink::peerIsThisUser()
{
    const std::optional<DockWire::PeerCredentials> peer = DockWire::peerCredentials(m_socket.socketDescriptor());
    if (peer && peer->userIdentifier == qint64(getuid()))
        return true;
    qCCritical(dockSocketLog, "The Dock socket %s is not served by this user; not using it",
              qPrintable(DockWire::socketPath()));
    return false;
}

void DockSocketLink::connectionMade()
{
    if (!peerIsThisUser()) {
        m_outbox.clear();
        m_socket.abort();
        return;
    }
    for (const QByteArray &frame : std::exchange(m_outbox, {}))
        m_socket.write(frame);
    m_socket.flush();
}

bool DockSocketLink::beginConnecting()
{
    if (m_socket.state() != QLocalSocket::UnconnectedState)
        return true;
    m_reader = DockWire::FrameReader();
    m_outbox.clear();
    // A missing or refusing socket fails within this call; a Dock that is stopped leaves the
    // connection waiting in its queue, which costs this thread nothing.
    m_socket.connectToServer(DockWire::socketPath());
    return m_socket.state() != QLocalSocket::UnconnectedState;
}

void DockSocketLink::writeFrame(const QByteArray &frame)
{
    if (isConnected()) {
        m_socket.write(frame);
        // Hands what the kernel takes now to the Dock; the rest goes from the event loop.
        m_socket.flush();
    } else if (isOpen()) {
        m_outbox.append(frame);
    }
}

void DockSocketLink::ask(QCborMap request, int timeoutMilliseconds, Answer answer)
{
    if (!beginConnecting()) {
        QMetaObject::invokeMethod(this, [answer = std::move(answer)] { answer(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    const qint64 sequence = m_nextSequence++;
    request.insert(QStringLiteral("seq"), sequence);
    m_asked.insert(sequence, std::move(answer));
    QTimer::singleShot(boundedWait(timeoutMilliseconds, 2000), this, [this, sequence] { expire(sequence); });
    writeFrame(DockWire::frame(request));
}

bool DockSocketLink::post(const QCborMap &message)
{
    if (!beginConnecting())
        return false;
    writeFrame(DockWire::frame(message));
    return true;
}

void DockSocketLink::expire(qint64 sequence)
{
    const auto found = m_asked.find(sequence);
    if (found == m_asked.end())
        return;
    const Answer answer = std::move(*found);
    m_asked.erase(found);
    answer(std::nullopt);
}

void DockSocketLink::failAsked()
{
    if (m_asked.isEmpty())
        return;
    // From the event loop: this runs inside a close() or an abort of the caller's own.
    QMetaObject::invokeMethod(this, [answers = std::exchange(m_asked, {})] {
        for (const Answer &answer : answers)
            answer(std::nullopt);
    }, Qt::QueuedConnection);
}

bool DockSocketLink::isConnected() const
{
    return m_socket.state() == QLocalSocket::ConnectedState;
}

bool DockSocketLink::isOpen() const
{
    return m_socket.state() != QLocalSocket::UnconnectedState;
}

void DockSocketLink::close()
{
    m_socket.abort();
}

std::optional<QCborMap> DockSocketLink::call(QCborMap request, int timeoutMilliseconds)
{
    if (!connectToDock())
        return std::nullopt;
    const qint64 sequence = m_nextSequence++;
    request.insert(QStringLiteral("seq"), sequence);
    m_awaited.insert(sequence);
    m_socket.write(DockWire::frame(request));
    const QPointer<DockSocketLink> self(this);
    const QDeadlineTimer deadline(boundedWait(timeoutMilliseconds, 2000));
    ++m_waiting;
    while (!m_answers.contains(sequence) && isConnected() && !deadline.hasExpired()) {
        m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        if (!self)
            return std::nullopt;
        readAvailable();
    }
    --m_waiting;
    m_awaited.remove(sequence);
    if (!m_deferred.isEmpty() && m_waiting == 0)
        QMetaObject::invokeMethod(this, &DockSocketLink::deliverDeferred, Qt::QueuedConnection);
    if (!m_answers.contains(sequence))
        return std::nullopt;
    return m_answers.take(sequence);
}

bool DockSocketLink::send(const QCborMap &message)
{
    if (!connectToDock())
        return false;
    m_socket.write(DockWire::frame(message));
    m_socket.flush();
    if (m_socket.bytesToWrite() > 0)
        m_socket.waitForBytesWritten(1000);
    return true;
}

void DockSocketLink::poll()
{
    if (!isConnected())
        return;
    // Only when the socket holds something (or has ended): a zero wait then reads it, or notices
    // the end, and readyRead brings it to readAvailable.
    pollfd descriptor{int(m_socket.socketDescriptor()), POLLIN, 0};
    if (descriptor.fd >= 0 && ::poll(&descriptor, 1, 0) > 0)
        m_socket.waitForReadyRead(0);
}

void DockSocketLink::readAvailable()
{
    // A wait may have ended with the connection gone: there is nothing more to read then.
    if (!m_socket.isOpen())
        return;
    m_reader.append(m_socket.readAll());
    const QPointer<DockSocketLink> self(this);
    while (self) {
        const std::optional<QCborMap> message = m_reader.next();
        if (!message)
            break;
        const QCborValue answerTo = message->value(QStringLiteral("re"));
        if (answerTo.isInteger() && m_awaited.contains(answerTo.toInteger()))
            m_answers.insert(answerTo.toInteger(), *message);
        else if (m_waiting > 0 || !m_deferred.isEmpty())
            m_deferred.append(*message);
        else
            dispatch(*message);
    }
    if (self && m_reader.failed()) {
        qCCritical(dockSocketLog, "Unreadable message from the Dock (%s); dropping the connection",
                  qPrintable(m_reader.error()));
        m_socket.abort();
    }
}

void DockSocketLink::deliverDeferred()
{
    const QPointer<DockSocketLink> self(this);
    while (self && m_waiting == 0 && !m_deferred.isEmpty())
        dispatch(m_deferred.takeFirst());
}

void DockSocketLink::dispatch(const QCborMap &message)
{
    const QCborValue answerTo = message.value(QStringLiteral("re"));
    if (!answerTo.isInteger()) {
        emit messageReceived(message);
        return;
    }
    // An answer nobody waits for any more (it came after its time) is dropped.
    const auto found = m_asked.find(answerTo.toInteger());
    if (found == m_asked.end())
        return;
    const Answer answer = std::move(*found);
    m_asked.erase(found);
    answer(message);
}

DockSocketChannel::DockSocketChannel() = default;
DockSocketChannel::~DockSocketChannel() = default;

DockSocketLink *DockSocketChannel::linkForThisThread()
{
    if (!m_link)
        m_link = std::make_unique<DockSocketLink>();
    return m_link->thread() == QThread::currentThread() ? m_link.get() : nullptr;
}

std::optional<QCborMap> DockSocketChannel::call(const QCborMap &request, int timeoutMilliseconds)
{
    if (isEventLoopThread()) {
        qCCritical(dockSocketLog, "Refused to wait for the Dock on the event loop's thread (%s)",
                   qPrintable(request.value(QStringLiteral("op")).toString()));
        return std::nullopt;
    }
    if (DockSocketLink *link = linkForThisThread())
        return link->call(request, timeoutMilliseconds);
    DockSocketLink once;
    return once.call(request, timeoutMilliseconds);
}

void DockSocketChannel::send(const QCborMap &message)
{
    if (DockSocketLink *link = linkForThisThread()) {
        if (isEventLoopThread())
            link->post(message);
        else
            link->send(message);
        return;
    }
    DockSocketLink once;
    if (isEventLoopThread())
        once.post(message);
    else
        once.send(message);
}

bool isEventLoopThread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && application->thread() == QThread::currentThread();
}

AXError dockAnswerError(const std::optional<QCborMap> &answer)
{
    if (!answer)
        return AXError::CannotComplete;
    const QCborValue error = answer->value(QStringLiteral("err"));
    if (!error.isInteger() || error.toInteger() < std::numeric_limits<int>::min()
        || error.toInteger() > std::numeric_limits<int>::max())
        return AXError::CannotComplete;
    return AXError(int(error.toInteger()));
}

std::optional<qint64> dockProcessIdentifierOf(const std::optional<QCborMap> &answer)
{
    if (dockAnswerError(answer) != AXError::Success)
        return std::nullopt;
    const QCborValue pid = answer->value(QStringLiteral("pid"));
    if (!pid.isInteger() || pid.toInteger() <= 0)
        return std::nullopt;
    return pid.toInteger();
}
