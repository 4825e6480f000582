#include "Platform/linux/ChildProcess.h"

#include "Platform/thumbnailhelper/ChildLimits.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/wait.h>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(childLog, "com.kestrowan.app.app")

const QString kHelperName = QStringLiteral("kestrowan-thumbnail-helper");
const QString kIconHelperName = QStringLiteral("kestrowan-icon-helper");
const QString kPageHelperName = QStringLiteral("kestrowan-page-helper");

// `name` beside the running executable, else in the installation's libexec folder, if trusted.
// `label` names it in the log, and `without` says what the program does when there is none.
QString trustedHelper(const QString &name, const char *label, const char *without)
{
    const QString folder = QCoreApplication::applicationDirPath();
    const QStringList candidates{
        folder + QLatin1Char('/') + name,
        QDir::cleanPath(folder + QStringLiteral("/" KESTROWAN_LIBEXEC_FROM_BIN "/") + name),
    };
    for (const QString &candidate : candidates) {
        if (!QFileInfo::exists(candidate))
            continue;
        QString reason;
        if (ChildProcess::isTrustedProgram(candidate, &reason))
            return candidate;
        qCCritical(childLog, "Not using the %s %s: %s", label, qUtf8Printable(candidate), qUtf8Printable(reason));
    }
    qCCritical(childLog, "No %s beside %s: %s", label, qUtf8Printable(folder), without);
    return QString();
}

bool ownedByUserOrSystem(const struct stat &info)
{
    return info.st_uid == 0 || info.st_uid == ::getuid();
}

bool othersCanWrite(const struct stat &info)
{
    return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// Every folder from `folder` up to the root: owned by the user or the system, and changeable by
// nobody else unless it is sticky (then others may add names, but not replace ours).
bool isTrustedFolderChain(const QString &folder, QString *reason)
{
    QString current = QDir::cleanPath(folder);
    for (;;) {
        struct stat info {};
        if (::stat(QFile::encodeName(current).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            *reason = QStringLiteral("%1 cannot be read").arg(current);
            return false;
        }
        if (!ownedByUserOrSystem(info)) {
            *reason = QStringLiteral("%1 belongs to another user").arg(current);
            return false;
        }
        if (othersCanWrite(info) && !(info.st_mode & S_ISVTX)) {
            *reason = QStringLiteral("others can write to %1").arg(current);
            return false;
        }
        if (current == QLatin1String("/"))
            return true;
        current = QFileInfo(current).path();
    }
}

} // namespace

namespace ChildProcess {

void closeInheritedDescriptors()
{
    if (::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    // Kernels before 5.11: one by one, up to the limit of descriptors.
    const long highest = ::sysconf(_SC_OPEN_MAX);
    for (int fd = 3; fd < (highest > 0 ? highest : 1024); ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0)
            ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

bool bindToParent(pid_t parent, bool limitAddressSpace)
{
    ::setpgid(0, 0);
    ChildLimits::apply(limitAddressSpace);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The program may have died between the fork and the line above; then nothing would end us.
    return ::getppid() == parent;
}

void leaveForOwnSession()
{
    ::setsid();
    for (const int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD})
        ::signal(signal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

void prepare(QProcess &process, Tie tie)
{
    if (tie == Tie::Detached) {
        // A Ctrl-C in the program's terminal, or its group signalled, must not reach the user's
        // application, whichever road started it.
        process.setChildProcessModifier([] {
            closeInheritedDescriptors();
            leaveForOwnSession();
        });
        return;
    }
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        closeInheritedDescriptors();
        if (!bindToParent(parent, true))
            ::_exit(127);
    });
}

bool startDetached(const QStringList &command, QString *error, const QProcessEnvironment &launchEnvironment)
{
    QString program = command.value(0);
    if (!program.isEmpty() && !program.contains(QLatin1Char('/')))
        program = QStandardPaths::findExecutable(program);
    if (program.isEmpty() || !QFileInfo(program).isExecutable()) {
        *error = QStringLiteral("%1 cannot be started: no such program").arg(command.value(0));
        return false;
    }
    // Everything the child needs is made now: after the fork it may not allocate.
    std::vector<QByteArray> bytes{QFile::encodeName(program)};
    for (const QString &argument : command.mid(1))
        bytes.push_back(QFile::encodeName(argument));
    std::vector<QByteArray> environment;
    for (const QString &variable : launchEnvironment.toStringList())
        environment.push_back(variable.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (QByteArray &variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    // Closed by a successful exec; a failed one writes its errno there.
    int status[2] = {-1, -1};
    if (null < 0 || ::pipe2(status, O_CLOEXEC) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        if (null >= 0)
            ::close(null);
        return false;
    }
    const pid_t middle = ::fork();
    if (middle == 0) {
        // The application's parent goes at once: it belongs to no one here, and no zombie stays.
        leaveForOwnSession();
        if (::fork() != 0)
            ::_exit(0);
        // The application is the user's and outlives the program: what it says is not the
        // program's to show on its terminal, and no pipe of ours may end it once we have gone.
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        closeInheritedDescriptors();
        ::execve(argv[0], argv.data(), envp.data());
        const int failure = errno;
        [[maybe_unused]] const ssize_t written = ::write(status[1], &failure, sizeof failure);
        ::_exit(127);
    }
    const int forkError = errno;
    ::close(null);
    ::close(status[1]);
    if (middle < 0) {
        ::close(status[0]);
        *error = QString::fromLocal8Bit(std::strerror(forkError));
        return false;
    }
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    int failure = 0;
    ssize_t got = -1;
    do {
        got = ::read(status[0], &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    ::close(status[0]);
    if (got == ssize_t(sizeof failure)) {
        *error = QStringLiteral("%1 cannot be started: %2").arg(program, QString::fromLocal8Bit(std::strerror(failure)));
        return false;
    }
    return true;
}

bool isTrustedProgram(const QString &path, QString *reason)
{
    QString ignored;
    QString &why = reason ? *reason : ignored;
    // A link beside the executable counts as what it names, and both places must be sound.
    const QFileInfo named(path);
    if (!isTrustedFolderChain(named.absolutePath(), &why))
        return false;
    const QString target = named.canonicalFilePath();
    if (target.isEmpty()) {
        why = QStringLiteral("%1 does not exist").arg(path);
        return false;
    }
    if (!isTrustedFolderChain(QFileInfo(target).absolutePath(), &why))
        return false;
    struct stat info {};
    if (::stat(QFile::encodeName(target).constData(), &info) != 0 || !S_ISREG(info.st_mode)
        || !(info.st_mode & S_IXUSR)) {
        why = QStringLiteral("%1 is not an executable file").arg(target);
        return false;
    }
    if (!ownedByUserOrSystem(info)) {
        why = QStringLiteral("%1 belongs to another user").arg(target);
        return false;
    }
    if (othersCanWrite(info)) {
        why = QStringLiteral("others can write to %1").arg(target);
        return false;
    }
    return true;
}

QString helperProgram()
{
    static const QString found = trustedHelper(kHelperName, "thumbnail helper", "documents show their badges");
    return found;
}

QString iconHelperProgram()
{
    static const QString found = trustedHelper(kIconHelperName, "icon helper", "icons show their generic pictures");
    return found;
}

QString pageHelperProgram()
{
    static const QString found = trustedHelper(kPageHelperName, "page helper", "the thumbnail helper draws PDF pages");
    return found;
}

} // namespace ChildProcess
