#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <sys/types.h>

class QProcess;

// How the program starts a process of its own. Every child gets only its standard streams: the
// program's other descriptors (the X connection, the key monitor's wake pipe, sockets, files) are
// closed as it executes. A child that serves the program (the helper, the desktop's thumbnailers
// and cache tools) also runs in a process group of its own, under the helper's memory and
// processor limits, and dies with the program, even when the program is killed. An application
// the user starts outlives the program.
namespace ChildProcess {

enum class Tie {
    // Serves the program: own group, limits, ends with the program.
    Bounded,
    // The user's: only the descriptors are seen to, and it runs in a session of its own.
    Detached,
};

// Between fork and exec, in the child (async-signal-safe): a session and process group of its own,
// default signal dispositions and an empty signal mask, as an application started from a desktop.
void leaveForOwnSession();

// Sets `process` up to start as `tie` says (it replaces the process's child modifier). For
// QProcess::start() only: Qt runs no modifier for a detached start.
void prepare(QProcess &process, Tie tie);

// Starts the user's program `command` (a program, looked up on the PATH when not a path, and its
// arguments) on its own, in a session of its own, with its standard streams on /dev/null and
// `environment`; nothing of the program's reaches it. False, with the reason in `error`, when it
// could not be started.
bool startDetached(const QStringList &command, QString *error,
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// Between fork and exec, in the child (async-signal-safe): every descriptor above the standard
// streams is marked close-on-exec.
void closeInheritedDescriptors();

// Between fork and exec, in the child (async-signal-safe): a group of its own, the limits (the
// address space too when `limitAddressSpace`), and the parent-death signal. `parent` is the
// program's process id as read before the fork; false when the program is already gone, and the
// child should end at once. The signal follows the thread that forked: callers fork from threads
// that live as long as their children may run.
bool bindToParent(pid_t parent, bool limitAddressSpace);

// The thumbnail helper: beside the running executable, else in the installation's
// "libexec/kestrowan" folder; refused where anyone but its owner (the user or the system) could
// have put or changed it. Empty when there is none to trust.
QString helperProgram();
// The icon helper and the page helper, found and trusted the same way.
QString iconHelperProgram();
QString pageHelperProgram();
// The same test for any program path: a regular executable file owned by the user or root, not
// writable by others, in a folder only its owner can change (or a sticky one).
bool isTrustedProgram(const QString &path, QString *reason = nullptr);

} // namespace ChildProcess
