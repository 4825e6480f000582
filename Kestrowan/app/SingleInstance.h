#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

#include <memory>

class QLocalServer;
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

    enum class Role { Primary, Forwarded, Failed };
    // Primary: this process is the running program and now listens. Forwarded: another one took the
    // arguments; this process should exit. Failed: neither (logged); the caller may run alone.
    Role claim(const QStringList &arguments);

    // Command-line arguments as the URLs to open: a URL with a scheme as it stands, anything else
    // as a file path relative to `workingDirectory`.
    static QList<QUrl> urlsFromArguments(const QStringList &arguments, const QString &workingDirectory);

    QString socketPath() const;

signals:
    // A later start's arguments (already turned into URLs, with its working directory); empty
    // means reopen.
    void argumentsReceived(const QList<QUrl> &urls);

private:
    bool forward(const QStringList &arguments);
    void accept();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
