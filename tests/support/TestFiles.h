#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

// The whole file; empty when it cannot be read.
QByteArray readTestFile(const QString &path);
// Writes `bytes` to `path` in place of what was there, making its folder; whether all of it was written.
bool writeTestFile(const QString &path, const QByteArray &bytes);

// The paths of the entries that the program's records in `recordsFolder` hold in one of `states`
// (the record's one-letter state: "p" announced, "m" maybe, …).
QStringList recordedEntryPaths(const QString &recordsFolder, const QList<QByteArray> &states);

// Every entry under `folder`, hidden ones included, by its path from there: a file's bytes, a
// link's target (links are not followed), "<folder>" for a folder, "<special>" for a fifo,
// socket or device.
QMap<QString, QByteArray> folderTree(const QString &folder);

// A temporary folder for the files a test writes, removed with it.
class ScratchFolder {
public:
    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Writes `contents` to the file `name` in the folder and gives its path.
    QString file(const QString &name, const QByteArray &contents)
    {
        writeTestFile(path(name), contents);
        return path(name);
    }

private:
    QTemporaryDir m_dir;
};

// Whether the process runs (one that has ended but is not yet reaped by its parent counts as ended).
bool processIsRunning(qint64 pid);

// The soft limit of a row of a /proc/<pid>/limits text ("Max address space") as written there.
QByteArray processLimit(const QByteArray &limits, const QByteArray &row);

// Process ids whose command line holds `needle` and `alsoNeedle`.
QList<qint64> processesWith(const QByteArray &needle, const QByteArray &alsoNeedle);

// A pipe opened without close-on-exec, as a careless library may leave one: every child the
// process starts inherits it unless the starter closes it. Closed when this goes.
class InheritablePipe {
public:
    InheritablePipe();
    ~InheritablePipe();
    InheritablePipe(const InheritablePipe &) = delete;
    InheritablePipe &operator=(const InheritablePipe &) = delete;
    bool isValid() const { return m_ends[0] >= 0; }
    // How a listing of /proc/<pid>/fd names it: "pipe:[<inode>]".
    QByteArray name() const { return m_name; }

private:
    int m_ends[2] = {-1, -1};
    QByteArray m_name;
};

// An application whose icon exists only as a scalable picture in the user's "hicolor" theme, a
// square of `color` edge to edge: installs the picture and a desktop entry naming it by its theme
// name, and returns the entry's path.
QString installApplicationWithScalableIcon(const QString &iconName, const QString &color);

// A program in `folder` that writes its process id to a file beside it (whole, by a rename) and
// then waits, as a "sleep" process, until it is ended: an application whose streams a test looks
// at once something has started it. Once ended, it starts no more (a starter that tries again when
// its application fails, as xdg-open does, finds it ending at once) until the next start is
// expected; it is ended with this too.
class WaitingApplication {
public:
    explicit WaitingApplication(const QString &folder);
    ~WaitingApplication();
    WaitingApplication(const WaitingApplication &) = delete;
    WaitingApplication &operator=(const WaitingApplication &) = delete;

    bool isValid() const { return m_valid; }
    QString program() const { return m_program; }
    // Before something is asked to start it.
    void expectStart();
    // Waits up to `timeoutMs` for a start of it to be what runs; its process id, or 0.
    qint64 waitForStart(int timeoutMs);
    // What each descriptor of the running start names, "<descriptor> -> <target>; …", in order.
    QString descriptors() const;
    // The process group and session of the running start, as /proc tells them.
    struct Belonging {
        qint64 group = 0;
        qint64 session = 0;
    };
    std::optional<Belonging> belonging() const;
    // Ends the running start, and any later one.
    void end();

private:
    QString m_program;
    QString m_pidFile;
    QString m_stopFile;
    bool m_valid = false;
    qint64 m_pid = 0;
};
