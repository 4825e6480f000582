#include "Platform/thumbnailhelper/Supervisor.h"

#include "Platform/thumbnailhelper/ChildLimits.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
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

// Removes the scratch folder and everything in it, never through a link: links are removed, not
// followed, and nothing on another file system is touched.
int removeEntry(const char *path, const struct stat *, int kind, struct FTW *)
{
    if (kind == FTW_DP)
        ::rmdir(path);
    else
        ::unlink(path);
    return 0;
}

void removeScratch(const Supervisor::Scratch *scratch)
{
    if (scratch)
        ::nftw(scratch->folder, removeEntry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
}

// Starts a child in a group of its own that dies with the supervisor; -1 when none could be made.
// An `outside` program runs under the helper's limits, which it does not set itself, and its output
// goes nowhere: the supervisor's own may be the program's pipe, which only the helper writes to.
pid_t startChild(const char *program, char *const *arguments, bool outside)
{
    const pid_t supervisor = ::getpid();
    const pid_t child = ::fork();
    if (child > 0)
        ::setpgid(child, child);
    if (child != 0)
        return child;
    ::setpgid(0, 0);
    if (outside) {
        ChildLimits::apply(true);
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (nowhere < 0 || ::dup2(nowhere, STDOUT_FILENO) < 0)
            ::_exit(kCouldNotStart);
    }
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != supervisor)
        ::_exit(kCouldNotStart);
    // The child starts with no signal blocked: the supervisor's own blocked set (the ones it waits
    // for) is not its.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(program, arguments);
    ::_exit(kCouldNotStart);
}

// The child's status once it ends; nothing when the supervisor is told to stop first.
std::optional<int> waitFor(pid_t child, const sigset_t &watched)
{
    for (;;) {
        siginfo_t info {};
        if (::sigwaitinfo(&watched, &info) < 0)
            continue;
        if (info.si_signo != SIGCHLD)
            return std::nullopt;
        int childStatus = 0;
        pid_t collected = 0;
        while ((collected = ::waitpid(-1, &childStatus, WNOHANG)) > 0) {
            if (collected == child)
                return childStatus;
        }
    }
}

// The helper itself, reading the picture the thumbnailer wrote: it sets its own limits, and takes
// the supervisor for the program it answers to.
std::optional<int> readPicture(const Supervisor::Scratch &scratch, const sigset_t &watched)
{
    const std::string parent = std::to_string(::getpid());
    ::setenv(ChildLimits::parentVariable, parent.c_str(), 1);
    char name[] = "kestrowan-thumbnail-helper";
    char fit[] = "--fit";
    char *const arguments[] = {name, fit, const_cast<char *>(scratch.picture), const_cast<char *>(scratch.width),
                               const_cast<char *>(scratch.height), nullptr};
    const pid_t reader = startChild("/proc/self/exe", arguments, false);
    if (reader < 0)
        return W_EXITCODE(kCouldNotStart, 0);
    return waitFor(reader, watched);
}

} // namespace

int Supervisor::run(char *const *target, const Scratch *scratch)
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
    if (scratch && ::mkdir(scratch->folder, 0700) != 0)
        return kCouldNotStart;

    const pid_t child = startChild(target[0], target, true);
    std::optional<int> status = child < 0 ? std::optional<int>(W_EXITCODE(kCouldNotStart, 0)) : waitFor(child, watched);
    endDescendants();
    if (scratch && status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) {
        status = readPicture(*scratch, watched);
        endDescendants();
    }
    removeScratch(scratch);
    // Told to stop: ended as by a kill.
    const int ended = status.value_or(W_EXITCODE(0, SIGKILL));
    if (WIFEXITED(ended))
        return WEXITSTATUS(ended);
    // Ended by a signal: the program learns it the same way.
    const int signal = WIFSIGNALED(ended) ? WTERMSIG(ended) : SIGKILL;
    ::signal(signal, SIG_DFL);
    ::sigprocmask(SIG_UNBLOCK, &watched, nullptr);
    ::raise(signal);
    return 128 + signal;
}
