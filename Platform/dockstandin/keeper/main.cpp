// dock-keeper: keeps the stand-in Dock running. When the Dock ends, whether it crashed or the
// program's Dock restart ended it, the keeper starts a new one, as the platform restarts its Dock. It
// ends the Dock and itself on SIGTERM, SIGINT or SIGHUP (killing a Dock that has not ended a few
// seconds later), and stops when the display has gone.

#include "Platform/dockstandin/wire/DockWire.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>

#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// How long a Dock asked to end may take to give back its work area and socket before it is killed:
// one whose main thread is stuck would otherwise keep the keeper, and whoever waits for it, forever.
constexpr unsigned stopGraceSeconds = 5;

volatile sig_atomic_t stopping = 0;
volatile pid_t dock = 0;

void onSignal(int)
{
    stopping = 1;
    if (dock > 0)
        kill(dock, SIGTERM);
    alarm(stopGraceSeconds);
}

void onStopGraceOver(int)
{
    if (dock > 0)
        kill(dock, SIGKILL);
}

sigset_t terminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&set, s);
    return set;
}

bool displayReachable()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool reachable = !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return reachable;
}

QString dockExecutable(int argc, char *argv[])
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--dock") == 0)
            return QString::fromLocal8Bit(argv[i + 1]);
    }
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath() + QStringLiteral("/Dock");
}

// Called with the termination signals blocked; `unblocked` is the mask to give the Dock.
pid_t startDock(const QByteArray &executable, const sigset_t &unblocked)
{
    const pid_t keeper = getpid();
    const pid_t child = fork();
    if (child != 0)
        return child;
    // The Dock must not outlive its keeper.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != keeper)
        _exit(0);
    // A signal that comes before exec stays pending until the handlers are the default ones, and
    // then ends the child: the keeper's own handlers must not swallow it.
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGALRM})
        signal(s, SIG_DFL);
    sigprocmask(SIG_SETMASK, &unblocked, nullptr);
    char *const arguments[] = {const_cast<char *>("Dock"), nullptr};
    execv(executable.constData(), arguments);
    std::fprintf(stderr, "dock-keeper: cannot start %s: %s\n", executable.constData(), std::strerror(errno));
    _exit(127);
}

} // namespace

int main(int argc, char *argv[])
{
    const QByteArray executable = dockExecutable(argc, argv).toLocal8Bit();
    const QByteArray lockPath = (DockWire::socketPath() + QStringLiteral(".keeper")).toLocal8Bit();
    const int lock = open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) {
        std::fprintf(stderr, "dock-keeper: another keeper already runs for this display (%s)\n", lockPath.constData());
        return 1;
    }

    const sigset_t terminations = terminationSignals();
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_mask = terminations;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &action, nullptr);
    struct sigaction grace {};
    grace.sa_handler = onStopGraceOver;
    sigemptyset(&grace.sa_mask);
    sigaction(SIGALRM, &grace, nullptr);

    int quickExits = 0;
    for (;;) {
        // Between the check and the Dock's identifier being known, a termination signal waits: the
        // handler then finds the new Dock to end instead of missing it.
        sigset_t unblocked;
        sigprocmask(SIG_BLOCK, &terminations, &unblocked);
        if (stopping) {
            sigprocmask(SIG_SETMASK, &unblocked, nullptr);
            break;
        }
        const auto started = std::chrono::steady_clock::now();
        dock = startDock(executable, unblocked);
        sigprocmask(SIG_SETMASK, &unblocked, nullptr);
        if (dock < 0) {
            std::perror("dock-keeper: fork");
            return 1;
        }
        int status = 0;
        while (waitpid(dock, &status, 0) < 0 && errno == EINTR) {
        }
        dock = 0;
        if (stopping)
            break;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 3) {
            std::fprintf(stderr, "dock-keeper: another Dock already serves this display; stopping\n");
            return 1;
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
            return 1;
        if (!displayReachable()) {
            std::fprintf(stderr, "dock-keeper: the display has gone; stopping\n");
            break;
        }
        // A Dock that keeps failing at once is started again more and more slowly.
        const bool quick = std::chrono::steady_clock::now() - started < std::chrono::seconds(2);
        quickExits = quick ? quickExits + 1 : 0;
        if (quickExits > 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(5000, 100 << std::min(quickExits, 6))));
    }
    unlink(lockPath.constData());
    return 0;
}
