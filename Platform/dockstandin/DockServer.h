#pragma once

#include "Platform/EventTaps.h"
#include "Platform/dockstandin/wire/DockWire.h"

#include <QHash>
#include <QObject>
#include <QSet>

class DockAccessibilityState;
class QLocalServer;
class QLocalSocket;
class TapHub;

// The Dock's socket: it answers Accessibility requests from the tree's last layout, keeps the
// clients' observers and taps, and passes prompts and posted events to the main thread. It lives
// on a thread of its own so that it keeps answering while the main thread waits for a tap.
class DockServer : public QObject {
    Q_OBJECT
public:
    DockServer(DockAccessibilityState *state, qint64 processIdentifier);
    ~DockServer() override;

    // Set once before the server starts.
    void setTapHub(TapHub *hub) { m_hub = hub; }

    static bool anotherDockAnswers(const QString &path);
    // Call in the server's thread. False when another Dock already answers at `path` or the
    // socket cannot be made.
    bool listen(const QString &path);
    void stop();

    // Safe from any thread.
    void sendToClient(quint64 client, const QByteArray &frame);
    void notify(quint64 element, const QString &notification);

signals:
    void promptRequested(const QString &executable);
    void eventPosted(const CGEvent &event, CGEventTapLocation location);
    // A client whose activation policy is regular, with its name, executable and icon (PNG bytes,
    // maybe empty); sent again when any of them changes.
    void regularClientChanged(quint64 client, const QString &name, const QString &executable, const QByteArray &icon);
    // A client that is no longer regular, or gone.
    void regularClientGone(quint64 client);

private:
    struct Client {
        QLocalSocket *socket = nullptr;
        DockWire::FrameReader reader;
        QString executable;
        QSet<QPair<quint64, QString>> observations;
        quint64 tap = 0;
        bool regular = false;
    };

    void accept();
    void read(quint64 client);
    void drop(quint64 client);
    void handle(quint64 client, Client &state, const QCborMap &message);
    QCborMap answerRequest(Client &state, const QString &op, const QCborMap &message);
    QCborMap observation(Client &state, const QString &op, const QCborMap &message);
    QCborMap installTap(quint64 client, Client &state, const QCborMap &message);
    QCborMap enableTap(Client &state, const QCborMap &message);
    void activationPolicy(quint64 client, Client &state, const QCborMap &message);
    bool isTrusted(const Client &state) const;
    bool isOwnElement(const QCborMap &message, quint64 *element) const;
    void writeTo(quint64 client, const QByteArray &frame);
    void sendNotification(quint64 element, const QString &notification);

    DockAccessibilityState *m_state;
    TapHub *m_hub = nullptr;
    qint64 m_processIdentifier;
    QLocalServer *m_server = nullptr;
    QHash<quint64, Client> m_clients;
    quint64 m_nextClient = 1;
};
