#pragma once

#include <QProcess>
#include <QString>
#include <QUuid>
#include <QStringList>

// The stand-in Dock under its keeper, for a test on a real X server: the test's home holds the
// Dock's preferences, the test process is granted Accessibility access, and every click the Dock
// acts on is written to a log the test can read.
class StandinDockSession {
public:
    StandinDockSession();
    ~StandinDockSession();

    QString home;
    QString preferences;
    QString openLog;
    // When set before `start`, the Dock's output goes to this file, with every request it is sent.
    QString requestLog;

    // A folder under the home with a picture in its "Icon\r", as a group's mirror folder has.
    QString makeFolder(const QString &relativePath);
    // A group's folder as the program keeps it for the Dock (its picture and the group's identifier
    // inside), under the program's storage in the home.
    QString makeGroupFolder(const QString &groupName, const QUuid &groupID);
    // A desktop entry under ~/Applications.
    QString makeApplication(const QString &name);

    void writePreferences(const QString &orientation, bool autohide, const QStringList &applications,
                          const QStringList &folders);
    // Starts the keeper, in this process's environment as it is now; the Dock's process identifier,
    // 0 when none came up in time.
    qint64 start();
    // Ends the keeper and its Dock; `start` may follow.
    void end();
    // Ends this test's Dock (by its process identifier) for its keeper to start again; the new
    // Dock's identifier.
    qint64 restart();
    // Ends this test's Dock and stops (SIGSTOP) the one its keeper starts as soon as it listens,
    // without running the event loop meanwhile: the program has not seen the new Dock yet, which
    // will not answer until `resume`. The stopped Dock's identifier, 0 when none came up in time.
    qint64 restartStopped();
    // Ends this test's Dock and returns the moment the one its keeper starts listens (its first
    // moment of answering), without running the event loop meanwhile; its identifier, 0 when none
    // came up in time.
    qint64 restartUntilListening(bool stopIt = false);
    // The process of a Dock that listens on the socket now, if it is another than `previous`; 0
    // otherwise. Asked without the event loop.
    static qint64 listeningDockOtherThan(qint64 previous);
    // Stops or lets go on this test's Dock.
    bool stop();
    bool resume();
    qint64 pid() const { return m_pid; }

    QStringList opened() const;

private:
    qint64 waitForDock(qint64 previous);

    QProcess m_keeper;
    qint64 m_pid = 0;
    qint64 m_endedPid = 0;
};
