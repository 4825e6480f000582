#include "Platform/linux/BoundedChild.h"

#include "Platform/linux/ChildProcess.h"
#include "Platform/thumbnailhelper/ChildLimits.h"

#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<char *> pointersTo(std::vector<QByteArray> &strings)
{
    std::vector<char *> pointers;
    pointers.reserve(strings.size() + 1);
    for (QByteArray &string : strings)
        pointers.push_back(string.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts the child with the C library's spawn, which makes the process without copying the
// program's memory (the program holds hundreds of megabytes with a thousand groups, and a copy of
// its page tables for every helper a Sync All starts held the window for milliseconds each time).
// The child gets a process group of its own, every signal at its default and the mask asked for,
// its standard streams and no other descriptor. What must be set inside the child (its limits, the
// parent-death signal and the check that the program is still its parent) the helper sets in its
// own `main`, from the program's process id it is handed in its environment.
int spawnChild(pid_t *pid, int null, int input, int output, bool supervisor, const char *program, char *const *arguments,
               char *const *environment)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    int failure = posix_spawn_file_actions_init(&actions);
    if (failure != 0)
        return failure;
    failure = posix_spawnattr_init(&attributes);
    if (failure != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return failure;
    }
    sigset_t every;
    sigfillset(&every);
    // A supervisor starts with the signals it waits for blocked, so that none comes before it waits.
    sigset_t mask;
    sigemptyset(&mask);
    if (supervisor) {
        for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD})
            sigaddset(&mask, signal);
    }
    const int steps[] = {
        posix_spawn_file_actions_adddup2(&actions, input >= 0 ? input : null, STDIN_FILENO),
        posix_spawn_file_actions_adddup2(&actions, output >= 0 ? output : null, STDOUT_FILENO),
        posix_spawn_file_actions_adddup2(&actions, null, STDERR_FILENO),
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1),
        posix_spawnattr_setpgroup(&attributes, 0),
        posix_spawnattr_setsigdefault(&attributes, &every),
        posix_spawnattr_setsigmask(&attributes, &mask),
        posix_spawnattr_setflags(&attributes, short(POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK)),
    };
    for (const int step : steps) {
        if (step != 0 && failure == 0)
            failure = step;
    }
    if (failure == 0)
        failure = posix_spawn(pid, program, &actions, &attributes, arguments, environment);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return failure;
}

} // namespace

BoundedChild::~BoundedChild()
{
    if (m_pid > 0) {
        kill();
        collect();
    }
    closeDescriptors();
}

bool BoundedChild::start(const QStringList &arguments, bool captureOutput, Mode mode, bool feedInput, const QStringList &supervision)
{
    if (arguments.isEmpty() || arguments.first().isEmpty()) {
        m_error = QStringLiteral("no program to start");
        return false;
    }
    QString program = arguments.first();
    if (!QFileInfo(program).isAbsolute())
        program = QStandardPaths::findExecutable(program);
    // A program that is not there fails without a process made for it: thousands of renders may
    // be waiting for it.
    if (program.isEmpty() || !QFileInfo(program).isExecutable()) {
        m_error = QStringLiteral("%1 is not installed").arg(arguments.first());
        return false;
    }
    QStringList command = arguments;
    command.first() = program;
    const bool supervised = mode == Mode::Supervised;
    if (supervised) {
        const QString supervisor = ChildProcess::helperProgram();
        if (supervisor.isEmpty()) {
            m_error = QStringLiteral("no thumbnail helper to run %1 under").arg(program);
            return false;
        }
        command = QStringList{supervisor, QStringLiteral("--supervise")} + supervision + command;
    }
    const QByteArray path = QFile::encodeName(command.first());
    std::vector<QByteArray> argumentBytes;
    for (const QString &argument : std::as_const(command))
        argumentBytes.push_back(QFile::encodeName(argument));
    const pid_t parent = ::getpid();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ChildLimits::parentVariable), QString::number(parent));
    std::vector<QByteArray> environmentBytes;
    for (const QString &variable : environment.toStringList())
        environmentBytes.push_back(variable.toLocal8Bit());
    const std::vector<char *> argv = pointersTo(argumentBytes);
    const std::vector<char *> envp = pointersTo(environmentBytes);

    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    int pipe[2] = {-1, -1};
    // The input is a socket rather than a pipe: a write to a child that has gone then fails with
    // an error instead of raising SIGPIPE in the program.
    int input[2] = {-1, -1};
    const auto closeAll = [&] {
        for (int *fd : {&pipe[0], &pipe[1], &input[0], &input[1]}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    };
    if ((captureOutput && ::pipe2(pipe, O_CLOEXEC) != 0)
        || (feedInput && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0)) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(null);
        closeAll();
        return false;
    }
    if (feedInput) {
        ::shutdown(input[0], SHUT_RD);
        ::fcntl(input[0], F_SETFL, ::fcntl(input[0], F_GETFL) | O_NONBLOCK);
    }
    pid_t pid = -1;
    const int spawnError = spawnChild(&pid, null, input[1], pipe[1], supervised, path.constData(), argv.data(), envp.data());
    ::close(null);
    for (int *childEnd : {&pipe[1], &input[1]}) {
        if (*childEnd >= 0)
            ::close(*childEnd);
        *childEnd = -1;
    }
    if (spawnError != 0 || pid <= 0) {
        closeAll();
        m_error = QStringLiteral("could not start %1: %2").arg(program, QString::fromLocal8Bit(std::strerror(spawnError)));
        return false;
    }
    // Nobody else collects our children, so the id still names this child here.
    const int ended = int(::syscall(SYS_pidfd_open, pid, 0));
    if (ended < 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        closeAll();
        m_error = QStringLiteral("could not watch %1").arg(program);
        return false;
    }
    ::fcntl(ended, F_SETFD, FD_CLOEXEC);
    if (pipe[0] >= 0)
        ::fcntl(pipe[0], F_SETFL, ::fcntl(pipe[0], F_GETFL) | O_NONBLOCK);
    const std::lock_guard lock(m_mutex);
    m_pid = pid;
    m_supervised = supervised;
    m_ended = ended;
    m_output = pipe[0];
    m_input = input[0];
    return true;
}

bool BoundedChild::writeInput(const QByteArray &bytes)
{
    if (m_input < 0)
        return false;
    if (bytes.size() > inputPieceBytes)
        return false;
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t sent = ::send(m_input, bytes.constData() + written, size_t(bytes.size() - written), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0) {
            // A part of what was meant as a whole cannot be taken back: the child gets nothing more.
            if (written > 0)
                closeInput();
            return false;
        }
        written += sent;
    }
    return true;
}

void BoundedChild::closeInput()
{
    if (m_input >= 0)
        ::close(m_input);
    m_input = -1;
}

BoundedChild::Output BoundedChild::readOutput(QByteArray &into, qsizetype limit)
{
    if (m_output < 0)
        return Output::End;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(m_output, buffer, sizeof buffer);
        if (got > 0) {
            if (into.size() + got > limit)
                return Output::TooLarge;
            into.append(buffer, got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0 && errno == EAGAIN ? Output::More : Output::End;
    }
}

void BoundedChild::kill()
{
    const std::lock_guard lock(m_mutex);
    if (m_pid <= 0)
        return;
    if (m_supervised) {
        // Its group is itself alone; it ends the rest and then goes.
        ::kill(m_pid, SIGTERM);
        return;
    }
    // Not collected yet, so the group's id is still this child's.
    ::kill(-m_pid, SIGKILL);
    ::kill(m_pid, SIGKILL);
}

bool BoundedChild::hasEnded() const
{
    if (m_ended < 0)
        return true;
    pollfd ended{m_ended, POLLIN, 0};
    return ::poll(&ended, 1, 0) > 0;
}

qint64 BoundedChild::cpuMilliseconds() const
{
    if (m_pid <= 0)
        return 0;
    qint64 pid = m_pid;
    if (m_supervised) {
        // The supervisor itself does next to nothing: what counts is the program it runs.
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(m_pid));
        if (!children.open(QIODevice::ReadOnly))
            return 0;
        pid = children.readAll().simplified().split(' ').value(0).toLongLong();
        if (pid <= 0)
            return 0;
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // The name in parentheses may hold spaces; the fields after it are numbers: the 14th and 15th
    // of the line are the user and system time in clock ticks.
    const QByteArray line = stat.read(4096);
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    const qint64 ticks = fields.at(11).toLongLong() + fields.at(12).toLongLong();
    return ticksPerSecond > 0 ? ticks * 1000 / ticksPerSecond : 0;
}

bool BoundedChild::wait(int timeoutMs, bool forOutput)
{
    pollfd watched[2] = {{m_ended, POLLIN, 0}, {forOutput ? m_output : -1, POLLIN, 0}};
    int ready = -1;
    do {
        ready = ::poll(watched, 2, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

std::optional<BoundedChild::Exit> BoundedChild::collect(int waitMs)
{
    if (m_pid <= 0)
        return std::nullopt;
    pollfd ended{m_ended, POLLIN, 0};
    int ready = -1;
    do {
        ready = ::poll(&ended, 1, waitMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0 && m_supervised) {
        // A supervisor that does not go when told is ended as any child is.
        {
            const std::lock_guard lock(m_mutex);
            ::kill(-m_pid, SIGKILL);
        }
        do {
            ready = ::poll(&ended, 1, waitMs);
        } while (ready < 0 && errno == EINTR);
    }
    if (ready <= 0)
        return std::nullopt;
    const std::lock_guard lock(m_mutex);
    // What the child started in its group goes with it, while the group's id is still its own.
    ::kill(-m_pid, SIGKILL);
    int status = 0;
    pid_t collected = -1;
    do {
        collected = ::waitpid(m_pid, &status, 0);
    } while (collected < 0 && errno == EINTR);
    m_pid = 0;
    closeDescriptors();
    Exit exit;
    if (collected > 0 && WIFEXITED(status)) {
        exit.exited = true;
        exit.code = WEXITSTATUS(status);
    }
    return exit;
}

void BoundedChild::closeDescriptors()
{
    for (int *fd : {&m_ended, &m_output, &m_input}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}
