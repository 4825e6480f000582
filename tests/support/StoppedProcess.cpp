#include "tests/support/StoppedProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>

namespace StoppedProcess {

namespace {

// The state letter of /proc/<pid>/task/<tid>/stat: it follows the command name, which is in
// parentheses and may itself hold spaces or parentheses.
char threadState(const QString &statPath)
{
    QFile stat(statPath);
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.read(4096);
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size())
        return 0;
    return line.at(close + 2);
}

} // namespace

bool isStopped(qint64 pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    const QStringList threads = QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (threads.isEmpty())
        return false;
    for (const QString &thread : threads) {
        const char state = threadState(tasks + u'/' + thread + QStringLiteral("/stat"));
        if (state != 'T' && state != 't')
            return false;
    }
    return true;
}

bool stop(qint64 pid, int timeoutMilliseconds)
{
    if (pid <= 0 || ::kill(pid_t(pid), SIGSTOP) != 0)
        return false;
    const QDeadlineTimer deadline(timeoutMilliseconds);
    while (!isStopped(pid)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(1);
    }
    return true;
}

} // namespace StoppedProcess
