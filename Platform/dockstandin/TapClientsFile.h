#pragma once

#include <QList>
#include <QString>

#include <optional>

// The programs that have an active tap in this session's Dock, kept in a small file beside its
// socket. The platform's taps live in the window server and outlive a Dock restart; here they live
// in the Dock, so a Dock that starts reads whose taps are about to come back and holds the bar's
// clicks for them meanwhile. A program whose tap decides from its copy of the Dock's tiles is held
// for until it has its copy of the new Dock's tiles too.
class TapClientsFile {
public:
    // A process, named so that another one given the same identifier later is not taken for it.
    struct Client {
        qint64 processIdentifier = 0;
        quint64 started = 0; // clock ticks after boot, as the kernel counts a process's start
        bool keepsCopy = false; // of the Dock's tiles
        bool operator==(const Client &) const = default;
        bool isSameProcess(const Client &other) const
        {
            return processIdentifier == other.processIdentifier && started == other.started;
        }
    };

    explicit TapClientsFile(QString path);
    static QString besideSocket(const QString &socketPath);
    QString path() const { return m_path; }

    // The process with that identifier as it runs now; nothing when there is none.
    static std::optional<Client> running(qint64 processIdentifier);
    // Whether that very process still runs (not another given its identifier since).
    static bool stillRuns(const Client &client);

    // Replaces the file at once, readable by this user alone; false (and logged) when it cannot.
    bool write(const QList<Client> &clients) const;
    // What the file holds; none when it is missing, and none (logged) when it is anything but a
    // list this Dock wrote.
    QList<Client> read() const;
    // The processes of `read` that still run, other than this one, each once.
    QList<Client> stillRunning() const;

private:
    QString m_path;
};
