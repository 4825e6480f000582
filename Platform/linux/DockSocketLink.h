#pragma once

#include "Platform/dockstandin/wire/DockWire.h"

#include <QCborMap>
#include <QList>
#include <QLocalSocket>
#include <QObject>
#include <QSet>
#include <QHash>

#include <functional>
#include <memory>
#include <optional>

// One connection of this program to the stand-in Dock. What the Dock sends on its own arrives
// through `messageReceived`, never in the middle of a waiting request.
//
// The main thread only ever asks (`ask`, `post`): a Dock that is stopped or busy must not stop the
// program with it, so the answer comes later through the event loop. Only other threads may wait for
// one (`connectToDock`, `call`, `send`), as the platform's synchronous Accessibility requests do.
class DockSocketLink : public QObject {
    Q_OBJECT
public:
    using Answer = std::function<void(const std::optional<QCborMap> &answer)>;

    explicit DockSocketLink(QObject *parent = nullptr);
    ~DockSocketLink() override;

    // Connects when not connected. Refuses a Dock that runs as another user. Every wait here is
    // bounded: a negative timeout means the default one, not "for ever".
    bool connectToDock(int timeoutMilliseconds = 1000);
    bool isConnected() const;
    // Connected, or on the way to it.
    bool isOpen() const;
    void close();

    // Sends a request and waits for its answer; nullopt when there is no Dock, it does not answer
    // in time, or the connection drops.
    std::optional<QCborMap> call(QCborMap request, int timeoutMilliseconds = 2000);
    // Sends a message without waiting; false when there is no connection.
    bool send(const QCborMap &message);

    // Sends a request without waiting, connecting first when needed; `answer` runs from the event
    // loop with the answer, or with nullopt when there is no Dock, the connection drops or nothing
    // came within the time. Never inside this call.
    void ask(QCborMap request, int timeoutMilliseconds, Answer answer);
    // Sends a message without waiting for anything, connecting first when needed; false when no
    // connection could be begun (no Dock).
    bool post(const QCborMap &message);
    // Takes in, without waiting, what the Dock has sent so far; what it sends on its own is
    // delivered before this returns (unless a request is waiting). Notices a Dock that has gone.
    void poll();

signals:
    void messageReceived(const QCborMap &message);
    void disconnected();

private:
    void readAvailable();
    void deliverDeferred();
    void dispatch(const QCborMap &message);
    // Starts connecting without waiting; false when that failed at once.
    bool beginConnecting();
    void connectionMade();
    bool peerIsThisUser();
    void writeFrame(const QByteArray &frame);
    void expire(qint64 sequence);
    void failAsked();

    QLocalSocket m_socket;
    QList<QByteArray> m_outbox;
    QHash<qint64, Answer> m_asked;
    DockWire::FrameReader m_reader;
    qint64 m_nextSequence = 1;
    QSet<qint64> m_awaited;
    QHash<qint64, QCborMap> m_answers;
    QList<QCborMap> m_deferred;
    int m_waiting = 0;
};

// Requests of one adapter. The link is made on first use in the thread that uses it first; a
// request from any other thread gets a connection of its own for that request.
class DockSocketChannel {
public:
    DockSocketChannel();
    ~DockSocketChannel();

    // Waits for the answer: never on the event loop's thread, where it answers nullopt at once.
    std::optional<QCborMap> call(const QCborMap &request, int timeoutMilliseconds = 2000);
    // Waits for nothing on the event loop's thread; elsewhere, until the message is handed over.
    void send(const QCborMap &message);

private:
    DockSocketLink *linkForThisThread();

    std::unique_ptr<DockSocketLink> m_link;
};

// Whether this is the thread of the application's event loop, the one that must never wait for the Dock.
bool isEventLoopThread();

// The error code of an answer; CannotComplete when there was none or it carries none.
AXError dockAnswerError(const std::optional<QCborMap> &answer);
// The Dock's process identifier in an answer to a "pid" request; nullopt for no or a failed answer.
std::optional<qint64> dockProcessIdentifierOf(const std::optional<QCborMap> &answer);
