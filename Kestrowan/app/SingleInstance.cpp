#include "Kestrowan/app/SingleInstance.h"

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

#include <unistd.h>

namespace {

// A forwarded start never sends more than this; anything larger is not ours.
constexpr qint64 maximumMessageSize = 256 * 1024;
constexpr int forwardTimeout = 5000;

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
    QDeadlineTimer deadline(forwardTimeout);
    while (true) {
        m_lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
        m_lock->setStaleLockTime(0);
        if (m_lock->tryLock(0)) {
            QLocalServer::removeServer(path);
            m_server = new QLocalServer(this);
            m_server->setSocketOptions(QLocalServer::UserAccessOption);
            if (!m_server->listen(path)) {
                qCCritical(appLogger, "Cannot listen for later starts on %s: %s", qUtf8Printable(path),
                           qUtf8Printable(m_server->errorString()));
                return Role::Failed;
            }
            connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
            return Role::Primary;
        }
        m_lock.reset();
        // Another start holds the lock; it may still be opening its socket.
        if (forward(arguments))
            return Role::Forwarded;
        if (deadline.hasExpired()) {
            qCCritical(appLogger, "The running Kestrowan does not answer on %s", qUtf8Printable(path));
            return Role::Failed;
        }
        QThread::msleep(50);
    }
}

bool SingleInstance::forward(const QStringList &arguments)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(1000))
        return false;
    QCborArray list;
    for (const QString &argument : arguments)
        list.append(argument);
    const QByteArray message = QCborMap{{QStringLiteral("cwd"), QDir::currentPath()}, {QStringLiteral("args"), list}}.toCborValue().toCbor();
    socket.write(message);
    socket.flush();
    // The running program closes the connection once it has the whole message.
    while (socket.state() == QLocalSocket::ConnectedState) {
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(1000);
        if (!socket.waitForDisconnected(forwardTimeout))
            return false;
    }
    return true;
}

void SingleInstance::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            if (buffer->size() > maximumMessageSize) {
                qCWarning(appLogger, "Dropped an oversized message from a later start");
                socket->abort();
                return;
            }
            QCborParserError error;
            const QCborValue value = QCborValue::fromCbor(*buffer, &error);
            if (error.error == QCborError::EndOfFile)
                return; // more to come
            socket->disconnectFromServer();
            if (error.error != QCborError::NoError || !value.isMap()) {
                qCWarning(appLogger, "Dropped an unreadable message from a later start");
                return;
            }
            const QCborMap map = value.toMap();
            QStringList arguments;
            for (const QCborValue &argument : map.value(QStringLiteral("args")).toArray()) {
                if (argument.isString())
                    arguments.append(argument.toString());
            }
            const QString workingDirectory = map.value(QStringLiteral("cwd")).toString(QDir::homePath());
            emit argumentsReceived(urlsFromArguments(arguments, workingDirectory));
        });
    }
}
