#pragma once

#include "Platform/dockstandin/wire/DockWire.h"

#include <QCborMap>
#include <QList>
#include <QLocalSocket>
#include <QObject>
#include <QSet>
#include <QHash>

#include <memory>
#include <optional>

// One connection of this program to the stand-in Dock. Requests wait for their answer (the
// platform's Accessibility requests are synchronous too); what the Dock sends on its own arrives
// through `messageReceived`, never in the middle of a waiting request.
class DockSocketLink : public QObject {
    Q_OBJECT
public:
    explicit DockSocketLink(QObject *parent = nullptr);
    ~DockSocketLink() override;

    // Connects when not connected. Refuses a Dock that runs as another user. Every wait here is
    // bounded: a negative timeout means the default one, not "for ever".
    bool connectToDock(int timeoutMilliseconds = 1000);
    bool isConnected() const;
    void close();

    // Sends a request and waits for its answer; nullopt when there is no Dock, it does not answer
    // in time, or the connection drops.
    std::optional<QCborMap> call(QCborMap request, int timeoutMilliseconds = 2000);
    // Sends a message without waiting; false when there is no connection.
    bool send(const QCborMap &message);
    // Takes in, without waiting, what the Dock has sent so far; what it sends on its own is
    // delivered before this returns (unless a request is waiting). Notices a Dock that has gone.
    void poll();

signals:
    void messageReceived(const QCborMap &message);
    void disconnected();

private:
    void readAvailable();
    void deliverDeferred();

    QLocalSocket m_socket;
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

    std::optional<QCborMap> call(const QCborMap &request, int timeoutMilliseconds = 2000);
    void send(const QCborMap &message);

private:
    DockSocketLink *linkForThisThread();

    std::unique_ptr<DockSocketLink> m_link;
};

// The error code of an answer; CannotComplete when there was none or it carries none.
AXError dockAnswerError(const std::optional<QCborMap> &answer);
// The Dock's process identifier in an answer to a "pid" request; nullopt for no or a failed answer.
std::optional<qint64> dockProcessIdentifierOf(const std::optional<QCborMap> &answer);
