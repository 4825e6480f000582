#include "Platform/dockstandin/DockServer.h"

#include "Platform/dockstandin/DockAccessibilityState.h"
#include "Platform/dockstandin/ProcessEnds.h"
#include "Platform/dockstandin/TapHub.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "Platform/logging/LoggedText.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <malloc.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(serverLog, "com.kestrowan.dock.server", QtInfoMsg)

// More clients than the program and its tests ever open; a runaway client cannot exhaust the Dock.
constexpr int maximumClients = 64;
// What one process may hold of them: others still find room.
constexpr int maximumClientsPerProcess = 32;
// A client says something at once and sends each message whole; one that says nothing this long
// after it connected, or leaves a message unfinished this long, is let go.
constexpr int stalledClientMilliseconds = 5000;

// What one client may leave unread: a few hundred layouts of a Dock of a thousand tiles. A client
// that sends requests and never reads their answers would otherwise hold the Dock's memory without
// end.
constexpr qint64 maximumPendingOutput = 16 * 1024 * 1024;

const QString selectionChanged = QStringLiteral("AXSelectedChildrenChanged");

QCborMap answer(AXError error)
{
    return QCborMap{{QStringLiteral("err"), qint64(error)}};
}

} // namespace

DockServer::DockServer(DockAccessibilityState *state, qint64 processIdentifier)
    : m_state(state)
    , m_processIdentifier(processIdentifier)
{
}

DockServer::~DockServer() = default;

bool DockServer::anotherDockAnswers(const QString &path)
{
    QLocalSocket probe;
    probe.connectToServer(path);
    if (!probe.waitForConnected(300))
        return false;
    qCWarning(serverLog, "Another Dock already answers at %s", qPrintable(path));
    return true;
}

bool DockServer::listen(const QString &path)
{
    if (anotherDockAnswers(path))
        return false;
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(maximumClients);
    if (!m_server->listen(path)) {
        qCWarning(serverLog, "Cannot listen at %s: %s", qPrintable(path), qPrintable(m_server->errorString()));
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &DockServer::accept);
    m_tapClientsFile.emplace(TapClientsFile::besideSocket(path));
    m_runningApplicationsFile.emplace(RunningApplicationsFile::besideSocket(path));
    m_processEnds = new ProcessEnds;
    m_processEnds->setParent(this);
    connect(m_processEnds, &ProcessEnds::ended, this, &DockServer::processEnded);
    for (const TapClientsFile::Client &program : std::as_const(m_awaitedPrograms))
        m_processEnds->watch(program);
    return true;
}

void DockServer::stop()
{
    // The taps go with this Dock, but their programs stay: the list beside the socket is left as it
    // is, for the Dock that comes next to wait for them.
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if (m_hub && it->tap)
            m_hub->remove(it->tap);
        if (it->regular)
            emit regularClientGone(it.key());
        it->socket->disconnect(this);
        it->socket->abort();
        it->socket->deleteLater();
    }
    m_clients.clear();
    if (m_server)
        m_server->close();
}

void DockServer::sendToClient(quint64 client, const QByteArray &frame)
{
    QMetaObject::invokeMethod(this, [this, client, frame] { writeTo(client, frame); }, Qt::QueuedConnection);
}

void DockServer::notify(quint64 element, const QString &notification)
{
    QMetaObject::invokeMethod(this, [this, element, notification] { sendNotification(element, notification); },
                              Qt::QueuedConnection);
}

void DockServer::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection())
        adopt(socket);
}

void DockServer::adopt(QLocalSocket *socket)
{
    const std::optional<DockWire::PeerCredentials> peer = DockWire::peerCredentials(socket->socketDescriptor());
    const auto refuse = [socket](const char *reason) {
        qCWarning(serverLog, "Refusing a connection (%s)", reason);
        socket->abort();
        socket->deleteLater();
    };
    if (!peer || peer->userIdentifier != qint64(getuid()))
        return refuse(peer ? "another user" : "no credentials");
    const qsizetype ofProcess = std::count_if(m_clients.cbegin(), m_clients.cend(), [&peer](const Client &client) {
        return client.peerProcess == peer->processIdentifier;
    });
    // A client that has not said anything yet holds no place another may not take.
    if (ofProcess >= maximumClientsPerProcess && !letGoOfASilentClient(peer->processIdentifier))
        return refuse("too many clients of one process");
    if (m_clients.size() >= maximumClients && !letGoOfASilentClient(0))
        return refuse("too many clients");
    const quint64 identifier = m_nextClient++;
    Client client;
    client.socket = socket;
    client.peerProcess = peer->processIdentifier;
    client.waitedFor.start();
    watchForStalls();
    client.executable = TrustStore::executableOfProcess(peer->processIdentifier);
    client.process = TapClientsFile::running(peer->processIdentifier);
    m_clients.insert(identifier, client);
    connect(socket, &QLocalSocket::readyRead, this, [this, identifier] { read(identifier); });
    connect(socket, &QLocalSocket::disconnected, this, [this, identifier] { drop(identifier); });
    if (socket->bytesAvailable() > 0)
        read(identifier);
}

void DockServer::read(quint64 client)
{
    auto found = m_clients.find(client);
    if (found == m_clients.end())
        return;
    if (found->dropping)
        return;
    const bool partialBefore = found->reader.holdsPartialMessage();
    found->reader.append(found->socket->readAll());
    bool whole = false;
    while (const std::optional<QCborMap> message = found->reader.next()) {
        whole = true;
        found->spoke = true;
        handle(client, *found, *message);
        found = m_clients.find(client);
        if (found == m_clients.end() || found->dropping)
            return;
    }
    if (found->reader.failed()) {
        qCWarning(serverLog, "Dropping a client that sent an unreadable message: %s", qPrintable(found->reader.error()));
        drop(client);
        return;
    }
    // A message is timed from its first byte: more of it coming slowly does not keep it open.
    if (found->spoke && found->reader.holdsPartialMessage() && (whole || !partialBefore)) {
        found->waitedFor.start();
        watchForStalls();
    }
}

void DockServer::watchForStalls()
{
    if (!m_stallCheck) {
        m_stallCheck = new QTimer(this);
        m_stallCheck->setInterval(stalledClientMilliseconds / 5);
        connect(m_stallCheck, &QTimer::timeout, this, &DockServer::letGoOfStalledClients);
    }
    if (!m_stallCheck->isActive())
        m_stallCheck->start();
}

bool DockServer::letGoOfASilentClient(qint64 peerProcess)
{
    std::optional<quint64> longest;
    qint64 waited = -1;
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
        if (it->spoke || (peerProcess != 0 && it->peerProcess != peerProcess))
            continue;
        if (it->waitedFor.elapsed() > waited) {
            waited = it->waitedFor.elapsed();
            longest = it.key();
        }
    }
    if (!longest)
        return false;
    qCWarning(serverLog, "Letting go of client %llu, silent for %lld ms, for a newcomer", *longest, qlonglong(waited));
    drop(*longest);
    return true;
}

void DockServer::letGoOfStalledClients()
{
    QList<quint64> stalled;
    bool anyWaiting = false;
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
        const bool waiting = !it->spoke || it->reader.holdsPartialMessage();
        if (waiting && !it->dropping && it->waitedFor.hasExpired(stalledClientMilliseconds))
            stalled.append(it.key());
        else if (waiting)
            anyWaiting = true;
    }
    for (const quint64 client : std::as_const(stalled)) {
        const Client &state = m_clients[client];
        qCWarning(serverLog, "Letting go of client %llu (process %lld): %s for %d ms", client, qlonglong(state.peerProcess),
                  state.spoke ? "a message left unfinished" : "no whole message", stalledClientMilliseconds);
        drop(client);
    }
    // An idle Dock with its clients all heard wakes for nothing.
    if (!anyWaiting && m_stallCheck)
        m_stallCheck->stop();
}

void DockServer::drop(quint64 client)
{
    const auto found = m_clients.find(client);
    if (found == m_clients.end())
        return;
    // A program that still runs may be replacing its tap: the next one is waited for a moment, and
    // no longer than the program runs.
    if (m_hub && found->tap) {
        const bool comesBack = found->activeTap && found->process && TapClientsFile::stillRuns(*found->process);
        m_hub->remove(found->tap, comesBack);
        if (comesBack && m_processEnds)
            m_processEnds->watch(*found->process);
        else if (found->activeTap)
            emit programLetGo();
    }
    if (found->regular)
        emit regularClientGone(client);
    QLocalSocket *socket = found->socket;
    const bool heldMuch = socket->bytesToWrite() > maximumPendingOutput / 4;
    const bool keptInList = found->activeTap || found->mirrors;
    const bool regular = found->regular;
    m_clients.erase(found);
    if (keptInList)
        keepTapClients();
    if (regular)
        keepRunningApplications();
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    // Aborting freed the unread output, in many small pieces of this thread's heap: hand them back,
    // so that the Dock returns to its size once such a client is gone.
    if (heldMuch)
        malloc_trim(0);
}

void DockServer::writeTo(quint64 client, const QByteArray &frame)
{
    const auto found = m_clients.find(client);
    if (found != m_clients.end())
        queue(client, *found, frame);
}

void DockServer::queue(quint64 client, Client &state, const QByteArray &frame)
{
    if (state.dropping)
        return;
    if (state.socket->bytesToWrite() + frame.size() <= maximumPendingOutput) {
        state.socket->write(frame);
        return;
    }
    qCWarning(serverLog, "Dropping client %llu (%s): it left %lld bytes unread", client,
              qPrintable(loggedText(QFileInfo(state.executable).fileName())), qlonglong(state.socket->bytesToWrite()));
    state.dropping = true;
    // Not here: the caller may be walking the clients.
    QMetaObject::invokeMethod(this, [this, client] { drop(client); }, Qt::QueuedConnection);
}

void DockServer::publishLayout()
{
    QMetaObject::invokeMethod(this, [this] { sendLayout(); }, Qt::QueuedConnection);
}

void DockServer::sendLayout()
{
    const DockTree tree = m_state->tree();
    sendToMirrors(DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::tree},
                                           {QStringLiteral("pid"), m_processIdentifier},
                                           {QStringLiteral("layout"), tree.encodeLayout()},
                                           {QStringLiteral("sel"), DockTree::encodeSelection(tree.selected())}}));
}

void DockServer::sendToMirrors(const QByteArray &frame)
{
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if (!it->mirrors)
            continue;
        if (!isTrusted(*it)) {
            it->mirrors = false;
            continue;
        }
        queue(it.key(), *it, frame);
        it->socket->flush();
    }
}

QCborMap DockServer::startMirror(Client &state, const QCborMap &message)
{
    if (message.value(QStringLiteral("v")) != QCborValue(DockWire::treeVersion)) {
        QCborMap reply = answer(AXError::IllegalArgument);
        reply.insert(QStringLiteral("v"), DockWire::treeVersion);
        return reply;
    }
    state.mirrors = true;
    const DockTree tree = m_state->tree();
    QCborMap reply = answer(AXError::Success);
    reply.insert(QStringLiteral("v"), DockWire::treeVersion);
    reply.insert(QStringLiteral("pid"), m_processIdentifier);
    reply.insert(QStringLiteral("layout"), tree.encodeLayout());
    reply.insert(QStringLiteral("sel"), DockTree::encodeSelection(tree.selected()));
    return reply;
}

void DockServer::sendNotification(quint64 element, const QString &notification)
{
    // A copy of the tree is brought up to date before the notification goes out, so that a client
    // that reads its copy when told reads the new selection.
    if (element == DockWire::listElement && notification == selectionChanged) {
        sendToMirrors(DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::selected},
                                               {QStringLiteral("pid"), m_processIdentifier},
                                               {QStringLiteral("sel"), DockTree::encodeSelection(m_state->selected())}}));
    }
    const QByteArray frame = DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::notify},
                                                      {QStringLiteral("pid"), m_processIdentifier},
                                                      {QStringLiteral("el"), qint64(element)},
                                                      {QStringLiteral("name"), notification}});
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if (it->observations.contains(qMakePair(element, notification))) {
            queue(it.key(), *it, frame);
            it->socket->flush();
        }
    }
}

bool DockServer::isTrusted(const Client &state) const
{
    return TrustStore::isTrusted(state.executable);
}

bool DockServer::isOwnElement(const QCborMap &message, quint64 *element) const
{
    const QCborValue pid = message.value(QStringLiteral("pid"));
    const QCborValue id = message.value(QStringLiteral("el"));
    if (!pid.isInteger() || pid.toInteger() != m_processIdentifier || !id.isInteger() || id.toInteger() < 0)
        return false;
    *element = quint64(id.toInteger());
    return true;
}

void DockServer::handle(quint64 client, Client &state, const QCborMap &message)
{
    const QString op = message.value(QStringLiteral("op")).toString();
    qCDebug(serverLog, "Request %s from client %llu", qPrintable(loggedText(op)), client);
    if (op == DockWire::Op::verdict) {
        const QCborValue event = message.value(QStringLiteral("event"));
        if (m_hub && state.tap && event.isInteger())
            m_hub->resolve(state.tap, quint64(event.toInteger()), message.value(QStringLiteral("pass")).toBool(true));
        return;
    }
    if (op == DockWire::Op::removeTap) {
        removeTap(state);
        return;
    }
    if (op == DockWire::Op::activationPolicy) {
        activationPolicy(client, state, message);
        return;
    }
    if (op == DockWire::Op::post) {
        const std::optional<CGEvent> event = DockWire::decodeEvent(message.value(QStringLiteral("ev")));
        const std::optional<CGEventTapLocation> location = DockWire::decodeLocation(message.value(QStringLiteral("loc")));
        // The platform drops events posted by programs without access, silently.
        if (event && location && isTrusted(state))
            emit eventPosted(*event, *location);
        return;
    }
    // A request names its answer by a whole number; one that does not is answered, with 0 as its
    // name, that it was not understood, and nothing of it is done.
    const QCborValue sequence = message.value(QStringLiteral("seq"));
    QCborMap reply;
    if (!sequence.isInteger() && !sequence.isUndefined())
        reply = answer(AXError::IllegalArgument);
    else if (op == DockWire::Op::createTap)
        reply = installTap(client, state, message);
    else if (op == DockWire::Op::enableTap)
        reply = enableTap(state, message);
    else if (op == DockWire::Op::mirror && m_copyDelay > 0) {
        QTimer::singleShot(m_copyDelay, this, [this, client, op, message, sequence] {
            const auto found = m_clients.find(client);
            if (found == m_clients.end() || found->dropping)
                return;
            sendAnswer(client, *found, op, sequence, answerRequest(*found, op, message));
        });
        return;
    } else
        reply = answerRequest(state, op, message);
    sendAnswer(client, state, op, sequence, reply);
}

void DockServer::sendAnswer(quint64 client, Client &state, const QString &op, const QCborValue &sequence, QCborMap reply)
{
    reply.insert(QStringLiteral("re"), sequence.isInteger() ? sequence.toInteger() : qint64(0));
    queue(client, state, DockWire::frame(reply));
    if (op == DockWire::Op::mirror && state.mirrors)
        copyAnswered(state);
}

void DockServer::copyAnswered(Client &state)
{
    // In the program's socket before any event that waited for it reaches the program's tap: the
    // tap's decision reads it from there first.
    state.socket->flush();
    keepTapClients();
    if (m_hub && state.process)
        m_hub->copySent(state.process->processIdentifier);
    emit copySent();
}

QCborMap DockServer::answerRequest(Client &state, const QString &op, const QCborMap &message)
{
    if (op == DockWire::Op::processIdentifier) {
        QCborMap reply = answer(AXError::Success);
        reply.insert(QStringLiteral("pid"), m_processIdentifier);
        return reply;
    }
    const bool trusted = isTrusted(state);
    if (op == DockWire::Op::prompt) {
        if (!trusted)
            emit promptRequested(state.executable);
        QCborMap reply = answer(AXError::Success);
        reply.insert(QStringLiteral("trusted"), trusted);
        return reply;
    }
    if (!trusted)
        return answer(AXError::APIDisabled);
    if (op == DockWire::Op::observe || op == DockWire::Op::unobserve)
        return observation(state, op, message);
    if (op == DockWire::Op::mirror)
        return startMirror(state, message);
    quint64 element = 0;
    if (op == DockWire::Op::attribute) {
        if (!isOwnElement(message, &element))
            return answer(AXError::InvalidUIElement);
        QVariant value;
        const AXError error = m_state->attribute(element, message.value(QStringLiteral("name")).toString(), &value, m_processIdentifier);
        QCborMap reply = answer(error);
        if (error == AXError::Success)
            reply.insert(QStringLiteral("value"), DockWire::encodeValue(value));
        return reply;
    }
    if (op == DockWire::Op::elementAtPosition) {
        if (!isOwnElement(message, &element) || element != DockWire::applicationElement)
            return answer(AXError::InvalidUIElement);
        const double x = message.value(QStringLiteral("x")).toDouble(NAN);
        const double y = message.value(QStringLiteral("y")).toDouble(NAN);
        if (!std::isfinite(x) || !std::isfinite(y))
            return answer(AXError::IllegalArgument);
        const std::optional<quint64> tile = m_state->tileAt(QPointF(x, y));
        if (!tile)
            return answer(AXError::NoValue);
        QCborMap reply = answer(AXError::Success);
        reply.insert(QStringLiteral("value"), DockWire::encodeValue(QVariant::fromValue(AXUIElement{m_processIdentifier, *tile})));
        return reply;
    }
    return answer(AXError::IllegalArgument);
}

QCborMap DockServer::observation(Client &state, const QString &op, const QCborMap &message)
{
    quint64 element = 0;
    if (!isOwnElement(message, &element))
        return answer(AXError::InvalidUIElement);
    const QString name = message.value(QStringLiteral("name")).toString();
    if (element != DockWire::listElement || name != selectionChanged)
        return answer(AXError::NotificationUnsupported);
    const QPair<quint64, QString> key(element, name);
    if (op == DockWire::Op::observe) {
        if (state.observations.contains(key))
            return answer(AXError::NotificationAlreadyRegistered);
        state.observations.insert(key);
        return answer(AXError::Success);
    }
    return answer(state.observations.remove(key) ? AXError::Success : AXError::NotificationNotRegistered);
}

QCborMap DockServer::enableTap(Client &state, const QCborMap &message)
{
    if (!m_hub || !state.tap)
        return answer(AXError::IllegalArgument);
    // Answered once it holds: the next event the Dock delivers meets the tap as asked.
    m_hub->setEnabled(state.tap, message.value(QStringLiteral("on")).toBool(true));
    return answer(AXError::Success);
}

void DockServer::removeTap(Client &state)
{
    if (!m_hub || !state.tap)
        return;
    m_hub->remove(state.tap);
    state.tap = 0;
    if (!std::exchange(state.activeTap, false))
        return;
    // The next Dock does not wait for a program that takes no clicks.
    keepTapClients();
    emit programLetGo();
}

void DockServer::processEnded(qint64 processIdentifier)
{
    if (m_hub && m_hub->processEnded(processIdentifier))
        emit programLetGo();
}

QCborMap DockServer::installTap(quint64 client, Client &state, const QCborMap &message)
{
    if (!isTrusted(state))
        return answer(AXError::APIDisabled);
    const QCborValue mask = message.value(QStringLiteral("mask"));
    const std::optional<CGEventTapLocation> location = DockWire::decodeLocation(message.value(QStringLiteral("loc")));
    if (!m_hub || state.tap || !mask.isInteger() || !location)
        return answer(AXError::IllegalArgument);
    const bool listenOnly = message.value(QStringLiteral("listen")).toBool(false);
    state.tap = m_hub->add(client, *location, message.value(QStringLiteral("head")).toBool(false), listenOnly,
                           quint64(mask.toInteger()), message.value(QStringLiteral("on")).toBool(true),
                           state.process ? state.process->processIdentifier : 0);
    if (!listenOnly) {
        state.activeTap = true;
        // Kept before the answer goes: a Dock that ends right after it still leaves the tap's
        // program to be waited for.
        keepTapClients();
        emit activeTapInstalled();
    }
    return answer(AXError::Success);
}

void DockServer::keepTapClients()
{
    if (!m_tapClientsFile)
        return;
    QList<TapClientsFile::Client> clients;
    for (const Client &client : std::as_const(m_clients)) {
        if (!client.activeTap || !client.process)
            continue;
        TapClientsFile::Client kept = *client.process;
        kept.keepsCopy = std::any_of(m_clients.cbegin(), m_clients.cend(), [&kept](const Client &other) {
            return other.mirrors && other.process && other.process->isSameProcess(kept);
        });
        if (!clients.contains(kept))
            clients.append(kept);
    }
    std::sort(clients.begin(), clients.end(), [](const TapClientsFile::Client &a, const TapClientsFile::Client &b) {
        return a.processIdentifier < b.processIdentifier;
    });
    if (clients == m_keptTapClients)
        return;
    if (m_tapClientsFile->write(clients))
        m_keptTapClients = clients;
}

void DockServer::activationPolicy(quint64 client, Client &state, const QCborMap &message)
{
    const QString policy = message.value(QStringLiteral("policy")).toString();
    if (policy != QStringLiteral("regular")) {
        if (!state.regular)
            return;
        emit regularClientGone(client);
        state.regular = false;
        state.name.clear();
        state.icon.clear();
        keepRunningApplications();
        return;
    }
    // A name is shown under the tile: keep it to one short line.
    QString name = message.value(QStringLiteral("name")).toString().simplified().left(64);
    if (name.isEmpty())
        name = QFileInfo(state.executable).fileName();
    QByteArray icon = message.value(QStringLiteral("icon")).toByteArray();
    if (icon.size() > 512 * 1024)
        icon.clear();
    if (!state.regular) {
        state.regularOrder = m_nextRegular++;
        for (qsizetype i = 0; state.process && i < m_expectedApplications.size(); ++i) {
            if (m_expectedApplications.at(i).process.isSameProcess(*state.process))
                state.regularOrder = quint64(i);
        }
    }
    state.regular = true;
    state.name = name;
    state.icon = icon;
    emit regularClientChanged(client, name, state.executable, icon, state.process ? state.process->processIdentifier : 0);
    keepRunningApplications();
}

void DockServer::keepRunningApplications()
{
    if (!m_runningApplicationsFile)
        return;
    QList<const Client *> regular;
    for (const Client &client : std::as_const(m_clients)) {
        if (client.regular && client.process && !client.executable.isEmpty())
            regular.append(&client);
    }
    std::sort(regular.begin(), regular.end(), [](const Client *a, const Client *b) { return a->regularOrder < b->regularOrder; });
    QList<RunningApplicationsFile::Application> applications;
    for (const Client *client : std::as_const(regular))
        applications.append({*client->process, client->name, client->executable, client->icon});
    if (applications == m_keptRunningApplications)
        return;
    if (m_runningApplicationsFile->write(applications))
        m_keptRunningApplications = applications;
}
