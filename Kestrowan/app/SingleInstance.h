#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// One running program per user and display. The first start holds a lock and listens on a local
// socket; a later start hands its arguments (URLs and file paths, or nothing for "reopen") to it and
// exits.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    // `name` distinguishes independent programs (tests); the socket and lock live in the user's
    // runtime folder.
    explicit SingleInstance(const QString &name = QStringLiteral("Kestrowan"), QObject *parent = nullptr);
    ~SingleInstance() override;

    enum class Role { Primary, Forwarded, NotAnswering, Refused };
    // Primary: this process holds the lock and is the running program (it listens, or keeps trying
    // to). Forwarded: the running one took the arguments. NotAnswering: a living running program holds
    // the lock but did not take the arguments in time. Refused: it answered that it cannot take them.
    // Only a lock whose owner has died is taken over.
    Role claim(const QStringList &arguments);

    // What a start does: nullopt when this process is the running program; otherwise the exit code
    // of this start, after saying on standard error why it stops when it did not hand over.
    std::optional<int> startOrHandOver(const QStringList &arguments);

    // Command-line arguments as the URLs to open: a URL with a scheme as it stands, anything else
    // as a file path relative to `workingDirectory`.
    static QList<QUrl> urlsFromArguments(const QStringList &arguments, const QString &workingDirectory);

    QString socketPath() const;

signals:
    // A later start's arguments (already turned into URLs, with its working directory); empty
    // means reopen.
    void argumentsReceived(const QList<QUrl> &urls);

private:
    Role forward(const QStringList &arguments, int timeoutMilliseconds);
    bool listen();
    void keepListening();
    void accept();
    void read(QLocalSocket *socket);
    void answer(QLocalSocket *socket, char verdict);

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    QTimer m_listenWatch;
    QHash<QLocalSocket *, QByteArray> m_pending;
};
