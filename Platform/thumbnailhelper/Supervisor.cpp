#include "Platform/thumbnailhelper/Supervisor.h"

#include "Platform/thumbnailhelper/ChildLimits.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kCouldNotStart = 127;

// The supervisor's own children, as the kernel lists them (every orphan below it lands here).
std::vector<pid_t> children()
{
    std::vector<pid_t> found;
    const std::string path = "/proc/self/task/" + std::to_string(::getpid()) + "/children";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return found;
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, size_t(got));
    ::close(fd);
    pid_t pid = 0;
    for (const char c : text + ' ') {
        if (c >= '0' && c <= '9') {
            pid = pid * 10 + (c - '0');
        } else if (pid > 0) {
            found.push_back(pid);
            pid = 0;
        }
    }
    return found;
}

// Kills every child and collects it, until none is left: each one killed hands its own children
// to the supervisor, which kills them in turn.
void endDescendants()
{
    for (;;) {
        for (const pid_t child : children()) {
            // Not collected yet, so neither id has been handed out again.
            ::kill(-child, SIGKILL);
            ::kill(child, SIGKILL);
        }
        const pid_t collected = ::waitpid(-1, nullptr, 0);
        if (collected < 0 && errno != EINTR)
            return;
    }
}

} // namespace

int Supervisor::run(char *const *target)
{
    sigset_t watched;
    sigemptyset(&watched);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD})
        sigaddset(&watched, signal);
    ::sigprocmask(SIG_BLOCK, &watched, nullptr);
    // The supervisor's processor limit; the memory limit goes to the supervised program.
    ChildLimits::apply(false);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    // Told when the program dies, rather than killed: the descendants must go too.
    if (!ChildLimits::bindToProgram(SIGTERM))
        return kCouldNotStart;

    const pid_t supervisor = ::getpid();
    const pid_t child = ::fork();
    if (child < 0)
        return kCouldNotStart;
    if (child == 0) {
        ::setpgid(0, 0);
        ChildLimits::apply(true);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != supervisor)
            ::_exit(kCouldNotStart);
        // The supervised program starts with no signal blocked: the supervisor's own blocked set
        // (the ones it waits for) is not its.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(target[0], target);
        ::_exit(kCouldNotStart);
    }
    ::setpgid(child, child);

    int status = 0;
    bool ended = false;
    while (!ended) {
        siginfo_t info {};
        if (::sigwaitinfo(&watched, &info) < 0)
            continue;
        if (info.si_signo != SIGCHLD) {
            status = W_EXITCODE(0, SIGKILL);
            break;
        }
        int childStatus = 0;
        pid_t collected = 0;
        while ((collected = ::waitpid(-1, &childStatus, WNOHANG)) > 0) {
            if (collected == child) {
                status = childStatus;
                ended = true;
            }
        }
    }
    endDescendants();
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    // Ended by a signal: the program learns it the same way.
    const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : SIGKILL;
    ::signal(signal, SIG_DFL);
    ::sigprocmask(SIG_UNBLOCK, &watched, nullptr);
    ::raise(signal);
    return 128 + signal;
}
