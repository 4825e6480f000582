#pragma once

#include "Platform/dockstandin/TapClientsFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The running applications with a tile in this session's Dock, kept in a small file beside its
// socket. On the platform the Dock learns of the running applications from the system the moment it
// starts; here they tell it over their connections, which a restart ends. A Dock that starts reads
// which of them still run and lays them out from its first layout on, so that no tile moves when
// they come back a moment later.
class RunningApplicationsFile {
public:
    struct Application {
        TapClientsFile::Client process;
        QString name;
        QString executable;
        QByteArray icon; // PNG bytes, maybe empty
        bool operator==(const Application &) const = default;
    };

    explicit RunningApplicationsFile(QString path);
    static QString besideSocket(const QString &socketPath);

    // False (and logged) when it cannot be replaced.
    bool write(const QList<Application> &applications) const;
    // What the file holds; none when it is missing, and none (logged) when it is anything but a
    // list a Dock wrote.
    QList<Application> read() const;
    // Those of `read` whose process still runs, each once.
    QList<Application> stillRunning() const;

private:
    QString m_path;
};
