#pragma once

#include "Platform/EventTaps.h"
#include "Platform/dockstandin/RunningApplicationsFile.h"
#include "Platform/dockstandin/TapClientsFile.h"
#include "Platform/dockstandin/wire/DockWire.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>

class DockAccessibilityState;
class ProcessEnds;
class QLocalServer;
class QLocalSocket;
class QTimer;
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
    // Copies of the tree are answered this much later, as a Dock laying out a great many tiles on a
    // busy machine answers them (tests play that Dock). Set once before the server starts.
    void setCopyDelay(int milliseconds) { m_copyDelay = milliseconds; }

    // The programs whose taps this Dock's bar waits for from its start: each is let go of the moment
    // it ends. Set once before the server listens.
    void setAwaitedPrograms(const QList<TapClientsFile::Client> &programs) { m_awaitedPrograms = programs; }
    // The running applications the Dock that ended showed, in their order: one that comes back keeps
    // its place. Set once before the server listens.
    void setExpectedApplications(const QList<RunningApplicationsFile::Application> &applications)
    {
        m_expectedApplications = applications;
        m_nextRegular = quint64(applications.size());
    }

    static bool anotherDockAnswers(const QString &path);
    // Call in the server's thread. False when another Dock already answers at `path` or the
    // socket cannot be made. The programs with an active tap are kept beside the socket from then
    // on, for the Dock that comes after this one.
    bool listen(const QString &path);
    void stop();

    // Takes a connected socket as the listening socket hands one over: refused (and deleted) when
    // its peer is another user, or when there are too many clients and none of them has yet to say
    // anything. Call in the server's thread.
    void adopt(QLocalSocket *socket);
    int clientCount() const { return int(m_clients.size()); }

    // Safe from any thread.
    void sendToClient(quint64 client, const QByteArray &frame);
    void notify(quint64 element, const QString &notification);
    // The tree's layout changed: the clients that keep a copy are sent the new one.
    void publishLayout();

signals:
    void promptRequested(const QString &executable);
    void eventPosted(const CGEvent &event, CGEventTapLocation location);
    // A client whose activation policy is regular, with its name, executable, icon (PNG bytes, maybe
    // empty) and process (0 when unknown); sent again when any of them changes.
    void regularClientChanged(quint64 client, const QString &name, const QString &executable, const QByteArray &icon,
                              qint64 process);
    // A client that is no longer regular, or gone.
    void regularClientGone(quint64 client);
    // A client installed a tap that may drop events.
    void activeTapInstalled();
    // A client was sent its copy of the tiles.
    void copySent();
    // A program the bar's events may have waited for is not waited for any more: it ended, or it
    // takes no more clicks.
    void programLetGo();

private:
    struct Client {
        QLocalSocket *socket = nullptr;
        DockWire::FrameReader reader;
        QString executable;
        std::optional<TapClientsFile::Client> process;
        QSet<QPair<quint64, QString>> observations;
        quint64 tap = 0;
        bool activeTap = false;
        bool regular = false;
        QString name;    // while regular
        QByteArray icon; // while regular
        quint64 regularOrder = 0; // the order in which the running applications came
        bool mirrors = false;
        // Set once its output has outgrown the bound: it is sent nothing more and dropped soon.
        bool dropping = false;
        qint64 peerProcess = 0;
        // Since it connected, until its first whole message; then since the first byte of a
        // message whose end has not come.
        QElapsedTimer waitedFor;
        bool spoke = false;
    };

    void accept();
    void read(quint64 client);
    void drop(quint64 client);
    // Makes room for a newcomer by letting go of the client (of `peerProcess` only, when not 0) that
    // has waited longest without a whole message; false when every one has spoken.
    bool letGoOfASilentClient(qint64 peerProcess);
    // Lets go of the clients that stayed silent, or left a message half sent, for too long; looked
    // at only while a client is waited for.
    void letGoOfStalledClients();
    void watchForStalls();
    void handle(quint64 client, Client &state, const QCborMap &message);
    QCborMap answerRequest(Client &state, const QString &op, const QCborMap &message);
    QCborMap observation(Client &state, const QString &op, const QCborMap &message);
    QCborMap installTap(quint64 client, Client &state, const QCborMap &message);
    QCborMap enableTap(Client &state, const QCborMap &message);
    void removeTap(Client &state);
    void processEnded(qint64 processIdentifier);
    void activationPolicy(quint64 client, Client &state, const QCborMap &message);
    bool isTrusted(const Client &state) const;
    bool isOwnElement(const QCborMap &message, quint64 *element) const;
    void writeTo(quint64 client, const QByteArray &frame);
    // Queues a frame for a client; one that lets more than the bound wait unread is dropped instead.
    void queue(quint64 client, Client &state, const QByteArray &frame);
    void sendNotification(quint64 element, const QString &notification);
    QCborMap startMirror(Client &state, const QCborMap &message);
    // Sends the answer to a request named `sequence`.
    void sendAnswer(quint64 client, Client &state, const QString &op, const QCborValue &sequence, QCborMap reply);
    // The copy of the tiles answered to `state` goes out now; a program whose events wait for it is
    // told to the taps.
    void copyAnswered(Client &state);
    // Sends to every client that keeps a copy of the tree and still has access; one that has lost
    // it keeps no copy any more and is sent nothing.
    void sendToMirrors(const QByteArray &frame);
    void sendLayout();
    // Writes the processes with an active tap beside the socket when they changed.
    void keepTapClients();
    // Writes the running applications with a tile beside the socket when they changed.
    void keepRunningApplications();

    DockAccessibilityState *m_state;
    TapHub *m_hub = nullptr;
    qint64 m_processIdentifier;
    QLocalServer *m_server = nullptr;
    QHash<quint64, Client> m_clients;
    std::optional<TapClientsFile> m_tapClientsFile;
    QList<TapClientsFile::Client> m_awaitedPrograms;
    ProcessEnds *m_processEnds = nullptr;
    QList<TapClientsFile::Client> m_keptTapClients;
    std::optional<RunningApplicationsFile> m_runningApplicationsFile;
    QList<RunningApplicationsFile::Application> m_keptRunningApplications;
    QList<RunningApplicationsFile::Application> m_expectedApplications;
    quint64 m_nextRegular = 0;
    quint64 m_nextClient = 1;
    QTimer *m_stallCheck = nullptr;
    int m_copyDelay = 0;
};
