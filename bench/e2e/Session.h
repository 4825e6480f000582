#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// The processes of an end-to-end benchmark, each started by this process and ended by it by its
// own id: an X server of its own, the stand-in Dock under its keeper, the program, and the plain
// Qt windows the figures are set beside.
namespace E2E {

// One child process. Ended with SIGTERM (then SIGKILL after the grace) when stopped or destroyed;
// it also gets SIGTERM should this process die first.
class Child {
public:
    Child() = default;
    ~Child() { stop(); }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // `environment` is the whole environment ("NAME=value"); output goes to `log` (appended).
    bool start(const QString &program, const QStringList &arguments, const QStringList &environment, const QString &log,
               int extraDescriptor = -1);
    void stop(int graceMs = 10000);
    bool running();
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = 0;
};

// Figures read from /proc: a line of /proc/<pid>/status in KiB ("VmHWM", "VmRSS"), and the CPU time
// in nanoseconds (user and system, with `children` also of the children it has waited for).
qint64 statusKiB(pid_t pid, const char *field);
qint64 cpuNanoseconds(pid_t pid, bool children);
// The CPU time of every thread of the process to the nanosecond (from the scheduler's account),
// for figures of a few milliseconds that the clock ticks above cannot tell apart.
qint64 threadsCpuNanoseconds(pid_t pid);
// The children of a process (its main thread's).
QList<pid_t> childrenOf(pid_t pid);

// A process's CPU time split into its own and its helpers': the children it has waited for, and
// those still running (each with what it has waited for in turn). Two snapshots give a helpers'
// figure that counts a helper started, ended or kept between them once, for its time in between.
struct ProcessCpu {
    qint64 own = 0;
    qint64 reaped = 0;
    QHash<pid_t, qint64> running;
    static ProcessCpu of(pid_t pid);
    qint64 helpersSince(const ProcessCpu &before) const;
};

// An Xvfb of its own, on a display number it chose itself.
class XServer {
public:
    bool start(const QString &log);
    void stop() { m_server.stop(); }
    QString display() const { return m_display; }

private:
    Child m_server;
    QString m_display;
};

// The files a home is seeded with: applications with icons, pictures and documents, all shared by
// every scenario of a run.
struct SampleFiles {
    static constexpr int applicationCount = 900;
    QStringList applications; // desktop entries, each with an icon file of its own
    QStringList pictures;     // 1600×1000 photos
    QStringList documents;    // PDFs
    QString manyFilesFolder;  // 5,000 small text files
    bool make(const QString &folder);
};

// One user: a home of its own with the program's files written before start, the Dock, the program.
class Scenario {
public:
    Scenario(const QString &root, const QString &name, const QString &display, const QString &runtimeDir);
    ~Scenario();

    QString home() const { return m_home; }
    QString groupsFolder() const { return m_home + QStringLiteral("/.local/share/Kestrowan/Groups"); }
    QString dockPreferences() const { return m_home + QStringLiteral("/Library/Preferences/com.apple.dock.plist"); }
    QStringList environment() const;

    // Writes groups.json, the settings (onboarding done, popups on resting the pointer on a tile or,
    // with `byClick`, on clicking it, Ctrl+1… for the first groups when `shortcuts`, the program's
    // own Dock tile kept with `showInDock`) and, with `foldersInDock`, each group's mirror folder and
    // Dock tile.
    bool seed(const QList<AppGroup> &groups, const SampleFiles &files, bool foldersInDock, int shortcuts = 0,
              bool showInDock = false, bool byClick = false);
    // The Dock's preferences: a few applications and, with `folders`, the given folders.
    bool writeDockPreferences(const QStringList &folders);

    bool startDock();
    void stopDock() { m_keeper.stop(); }
    pid_t keeperPid() const { return m_keeper.pid(); }
    // The Dock running under the keeper now; 0 when none.
    pid_t dockPid() const;

    bool startProgram(const QStringList &arguments = {});
    void stopProgram() { m_program.stop(); }
    pid_t programPid() const { return m_program.pid(); }
    // Runs the program a second time with `arguments` (it hands them to the first) and waits for it.
    bool secondStart(const QStringList &arguments);
    QString log() const { return m_home + QStringLiteral("/program.log"); }

private:
    QString m_home;
    QString m_display;
    QString m_runtimeDir;
    Child m_keeper;
    Child m_program;
};

// `count` groups named "Group 1"… with `itemsPerGroup` items each, drawn in turn from the sample
// applications, pictures and documents.
QList<AppGroup> sampleGroups(const SampleFiles &files, int count, int itemsPerGroup);
// The same with applications everywhere but the third place (a picture or a document): 200 groups
// of six items draw on all 900 sample applications.
QList<AppGroup> applicationGroups(const SampleFiles &files, int count, int itemsPerGroup);
// One group of `count` applications, the sample applications in turn (again from the first once
// all have been used).
AppGroup manyApplicationsGroup(const SampleFiles &files, const QString &name, int count);
// One group of `count` small files.
AppGroup manyFilesGroup(const SampleFiles &files, const QString &name, int count);
// One group of `count` documents under `folder`: two in five 6000×500 PNG panoramas, one in five
// 3000×2000 pictures, the rest the sample photos and PDFs, each at a path of its own.
AppGroup manyDocumentsGroup(const SampleFiles &files, const QString &folder, const QString &name, int count);

} // namespace E2E
