#include "Kestrowan/app/SingleInstance.h"

#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/Log.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

// A forwarded start never sends more than this; anything larger is not ours.
constexpr qint64 maximumMessageSize = 256 * 1024;
// How long a later start waits for the running program to take its arguments: the running one may
// be busy for a few seconds, and a start that gives up must not become a second running program.
constexpr int forwardTimeout = 10000;
// Later starts send their whole message at once. Connections beyond this many, or that have not
// sent a whole message in this time, are closed, so idle clients cannot use up the descriptors.
constexpr int maximumConnections = 16;
constexpr int connectionTimeout = 3000;
// Qt closes a server for good when accepting fails (descriptors exhausted); it is opened again.
constexpr int listenCheckInterval = 500;

// What the running program answers once it has a whole message.
constexpr char accepted = 1;
constexpr char refused = 0;

QString runtimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder;
}

} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{
    m_listenWatch.setInterval(listenCheckInterval);
    connect(&m_listenWatch, &QTimer::timeout, this, &SingleInstance::keepListening);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPath() const
{
    const QByteArray display = qgetenv("DISPLAY");
    QString suffix = QString::number(getuid());
    if (!display.isEmpty())
        suffix += QLatin1Char('-') + QString::fromLatin1(display).remove(u':').remove(u'/');
    return runtimeFolder() + QLatin1Char('/') + m_name.toLower() + QLatin1Char('-') + suffix + QStringLiteral(".sock");
}

QList<QUrl> SingleInstance::urlsFromArguments(const QStringList &arguments, const QString &workingDirectory)
{
    QList<QUrl> urls;
    for (const QString &argument : arguments) {
        if (argument.isEmpty())
            continue;
        const QUrl url(argument, QUrl::StrictMode);
        // "C:"-like one-letter schemes do not occur here; anything else with a scheme is a URL.
        if (url.isValid() && url.scheme().size() > 1 && !url.isRelative()) {
            urls.append(url);
            continue;
        }
        urls.append(QUrl::fromLocalFile(QDir(workingDirectory).absoluteFilePath(argument)));
    }
    return urls;
}

SingleInstance::Role SingleInstance::claim(const QStringList &arguments)
{
    const QString path = socketPath();
    const QDeadlineTimer deadline(forwardTimeout);
    while (true) {
        m_lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
        // Never stale by age: only a lock whose owner has died is taken over, so a running program
        // that is stopped or busy keeps its place.
        m_lock->setStaleLockTime(0);
        if (m_lock->tryLock(0)) {
            if (!listen())
                qCCritical(appLogger, "Later starts cannot reach this one until the socket opens again");
            m_listenWatch.start();
            return Role::Primary;
        }
        m_lock.reset();
        // Another start holds the lock; it may still be opening its socket, or be busy.
        const Role role = forward(arguments, int(qMax<qint64>(1, deadline.remainingTime())));
        if (role != Role::NotAnswering)
            return role;
        if (deadline.hasExpired()) {
            qCCritical(appLogger, "The running Kestrowan does not answer on %s", qUtf8Printable(path));
            return Role::NotAnswering;
        }
        QThread::msleep(50);
    }
}

std::optional<int> SingleInstance::startOrHandOver(const QStringList &arguments)
{
    switch (claim(arguments)) {
    case Role::Primary:
        return std::nullopt;
    case Role::Forwarded:
        return 0;
    case Role::NotAnswering:
        std::fprintf(stderr, "%s\n", qUtf8Printable(localized(QStringLiteral("launch.secondStart.notAnswering"))));
        return 2;
    case Role::Refused:
        std::fprintf(stderr, "%s\n", qUtf8Printable(localized(QStringLiteral("launch.secondStart.failed"))));
        return 1;
    }
    return 1;
}

SingleInstance::Role SingleInstance::forward(const QStringList &arguments, int timeoutMilliseconds)
{
    QCborArray list;
    for (const QString &argument : arguments)
        list.append(argument);
    const QByteArray message = QCborMap{{QStringLiteral("cwd"), QDir::currentPath()}, {QStringLiteral("args"), list}}.toCborValue().toCbor();
    if (message.size() > maximumMessageSize) {
        qCCritical(appLogger, "This start's arguments (%lld bytes) are more than the running Kestrowan takes",
                   qint64(message.size()));
        return Role::Refused;
    }

    const QDeadlineTimer deadline(timeoutMilliseconds);
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(int(std::clamp<qint64>(deadline.remainingTime(), 1, 1000))))
        return Role::NotAnswering;
    socket.write(message);
    // The running program answers with one byte once it has the whole message.
    while (socket.bytesAvailable() < 1 && socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired())
        socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    char verdict = refused;
    if (socket.bytesAvailable() < 1 || socket.read(&verdict, 1) != 1)
        return Role::NotAnswering;
    return verdict == accepted ? Role::Forwarded : Role::Refused;
}

bool SingleInstance::listen()
{
    const QString path = socketPath();
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        m_server->setMaxPendingConnections(maximumConnections);
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    }
    // This process holds the lock, so whatever is at the path was left by a program that has gone.
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        qCCritical(appLogger, "Cannot listen for later starts on %s: %s", qUtf8Printable(path),
                   qUtf8Printable(m_server->errorString()));
        return false;
    }
    return true;
}

void SingleInstance::keepListening()
{
    if (m_server->isListening())
        return;
    qCWarning(appLogger, "The socket for later starts has closed (%s); opening it again",
              qUtf8Printable(m_server->errorString()));
    listen();
}

void SingleInstance::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (m_pending.size() >= maximumConnections) {
            qCWarning(appLogger, "Closed a connection from a later start: %d are open already", maximumConnections);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_pending.insert(socket, QByteArray());
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_pending.remove(socket); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        QTimer::singleShot(connectionTimeout, socket, [this, socket] {
            if (!m_pending.contains(socket))
                return;
            qCWarning(appLogger, "Closed a connection from a later start that sent no whole message in time");
            m_pending.remove(socket);
            socket->abort();
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            read(socket);
    }
}

void SingleInstance::read(QLocalSocket *socket)
{
    const auto found = m_pending.find(socket);
    if (found == m_pending.end())
        return;
    found->append(socket->readAll());
    if (found->size() > maximumMessageSize) {
        qCWarning(appLogger, "Dropped an oversized message from a later start (over %lld bytes)", maximumMessageSize);
        answer(socket, refused);
        return;
    }
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(*found, &error);
    if (error.error == QCborError::EndOfFile)
        return; // more to come
    if (error.error != QCborError::NoError || !value.isMap()) {
        qCWarning(appLogger, "Dropped an unreadable message from a later start");
        answer(socket, refused);
        return;
    }
    answer(socket, accepted);
    const QCborMap map = value.toMap();
    QStringList arguments;
    for (const QCborValue &argument : map.value(QStringLiteral("args")).toArray()) {
        if (argument.isString())
            arguments.append(argument.toString());
    }
    const QString workingDirectory = map.value(QStringLiteral("cwd")).toString(QDir::homePath());
    emit argumentsReceived(urlsFromArguments(arguments, workingDirectory));
}

void SingleInstance::answer(QLocalSocket *socket, char verdict)
{
    m_pending.remove(socket);
    socket->disconnect(this);
    socket->write(&verdict, 1);
    // Sent now: what the message asks for may keep the event loop busy for a while.
    socket->flush();
    socket->disconnectFromServer();
}
