#include "tests/support/TestFiles.h"

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

#include <algorithm>

QByteArray readTestFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeTestFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool processIsRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (name) state ...": the name may hold anything, so the state is found after its last ')'.
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.size() > close + 2 && line.at(close + 2) != 'Z';
}

QByteArray processLimit(const QByteArray &limits, const QByteArray &row)
{
    for (const QByteArray &line : limits.split('\n')) {
        if (line.startsWith(row))
            return line.mid(row.size()).simplified().split(' ').value(0);
    }
    return {};
}

QList<qint64> processesWith(const QByteArray &needle, const QByteArray &alsoNeedle)
{
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!commandLine.open(QIODevice::ReadOnly))
            continue;
        const QByteArray arguments = commandLine.readAll();
        if (arguments.contains(needle) && arguments.contains(alsoNeedle))
            found.append(pid);
    }
    return found;
}

InheritablePipe::InheritablePipe()
{
    struct stat info {};
    if (::pipe(m_ends) != 0 || ::fstat(m_ends[0], &info) != 0)
        return;
    m_name = "pipe:[" + QByteArray::number(qulonglong(info.st_ino)) + "]";
}

InheritablePipe::~InheritablePipe()
{
    for (const int end : m_ends) {
        if (end >= 0)
            ::close(end);
    }
}

QString installApplicationWithScalableIcon(const QString &iconName, const QString &color)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    writeTestFile(data + QStringLiteral("/icons/hicolor/scalable/apps/") + iconName + QStringLiteral(".svg"),
                  QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\" viewBox=\"0 0 48 48\">"
                                 "<rect width=\"48\" height=\"48\" fill=\"%1\"/></svg>\n")
                      .arg(color)
                      .toUtf8());
    // Beside the installed applications, not among them: what a test lists of those stays as it was.
    const QString entry = data + QStringLiteral("/test-entries/") + iconName + QStringLiteral(".desktop");
    writeTestFile(entry, QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=/bin/true\nIcon=%1\n").arg(iconName).toUtf8());
    return entry;
}

QStringList recordedEntryPaths(const QString &recordsFolder, const QList<QByteArray> &states)
{
    QStringList paths;
    const QDir records(recordsFolder);
    for (const QString &recordName : records.entryList(QDir::Files)) {
        const QList<QByteArray> lines = readTestFile(records.filePath(recordName)).split('\n');
        if (lines.size() < 2 || lines.at(1).split(' ').size() != 3)
            continue;
        const QString folder = QFile::decodeName(QByteArray::fromHex(lines.at(1).split(' ').at(2)));
        for (const QByteArray &line : lines) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() >= 5 && states.contains(fields.at(0)))
                paths.append(folder + u'/' + QFile::decodeName(QByteArray::fromHex(fields.at(4))));
        }
    }
    return paths;
}

QMap<QString, QByteArray> folderTree(const QString &folder)
{
    QMap<QString, QByteArray> tree;
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QFileInfo entry(entries.next());
        tree.insert(QDir(folder).relativeFilePath(entry.filePath()),
                    entry.isSymLink() ? entry.symLinkTarget().toUtf8()
                    : entry.isDir()   ? QByteArray("<folder>")
                    : entry.isFile()  ? readTestFile(entry.filePath())
                                      : QByteArray("<special>")); // a fifo is never opened: that would wait
    }
    return tree;
}

WaitingApplication::WaitingApplication(const QString &folder)
    : m_program(folder + QStringLiteral("/waiting-application"))
    , m_pidFile(folder + QStringLiteral("/waiting-application.pid"))
    , m_stopFile(folder + QStringLiteral("/waiting-application.stop"))
{
    const QByteArray script = QStringLiteral("#!/bin/sh\n[ -e '%2' ] && exit 0\necho $$ > '%1.part'\nmv '%1.part' '%1'\nexec sleep 600\n")
                                  .arg(m_pidFile, m_stopFile)
                                  .toUtf8();
    m_valid = writeTestFile(m_program, script) && QFile::setPermissions(m_program, QFile::permissions(m_program) | QFileDevice::ExeOwner);
}

WaitingApplication::~WaitingApplication()
{
    end();
}

void WaitingApplication::expectStart()
{
    QFile::remove(m_stopFile);
    QFile::remove(m_pidFile);
}

void WaitingApplication::end()
{
    writeTestFile(m_stopFile, {});
    if (m_pid > 0)
        ::kill(pid_t(m_pid), SIGKILL);
    m_pid = 0;
}

namespace {

// Whether the process sleeps in its wait: comm turns to "sleep" at the exec, while the loader and
// the start-up of the program still open and close files (the libraries, the locale).
bool sleepsInItsWait(qint64 pid)
{
    const QByteArray channel = readTestFile(QStringLiteral("/proc/%1/wchan").arg(pid)).trimmed();
    if (channel.contains("nanosleep"))
        return true;
    const QList<QByteArray> call = readTestFile(QStringLiteral("/proc/%1/syscall").arg(pid)).split(' ');
    bool number = false;
    const qint64 callNumber = call.value(0).toLongLong(&number);
    if (number)
        return callNumber == SYS_nanosleep || callNumber == SYS_clock_nanosleep;
    // Neither is shown here: then at least asleep, twice in a row a moment apart.
    const auto asleep = [pid] {
        const QByteArray stat = readTestFile(QStringLiteral("/proc/%1/stat").arg(pid));
        const qsizetype close = stat.lastIndexOf(')');
        return close > 0 && stat.size() > close + 2 && stat.at(close + 2) == 'S';
    };
    if (!channel.isEmpty() && channel != "0")
        return false;
    return asleep() && (QTest::qWait(50), asleep());
}

} // namespace

qint64 WaitingApplication::waitForStart(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return QFile::exists(m_pidFile); }, timeoutMs))
        return 0;
    m_pid = readTestFile(m_pidFile).trimmed().toLongLong();
    // Its script has handed over to the waiting program, whose descriptors are what stays once it
    // waits.
    const QString name = QStringLiteral("/proc/%1/comm").arg(m_pid);
    if (m_pid <= 0 || !QTest::qWaitFor([&] { return readTestFile(name).trimmed() == "sleep" && sleepsInItsWait(m_pid); }, timeoutMs))
        return 0;
    return m_pid;
}

QString WaitingApplication::descriptors() const
{
    // A descriptor listed may be gone by the time its target is read: the listing is read again
    // until every entry of one reading names its target.
    const QString folder = QStringLiteral("/proc/%1/fd").arg(m_pid);
    QStringList named;
    for (int reading = 0; reading < 20; ++reading) {
        QList<int> numbers;
        for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::System))
            numbers.append(name.toInt());
        std::sort(numbers.begin(), numbers.end());
        named.clear();
        bool whole = true;
        for (const int number : std::as_const(numbers)) {
            const QString target = QFile::symLinkTarget(folder + QLatin1Char('/') + QString::number(number));
            whole = whole && !target.isEmpty();
            named << QStringLiteral("%1 -> %2").arg(number).arg(target);
        }
        if (whole)
            break;
    }
    return named.join(QStringLiteral("; "));
}

std::optional<WaitingApplication::Belonging> WaitingApplication::belonging() const
{
    // "pid (name) state ppid pgrp session ...": the name may hold anything, so the fields are
    // counted after its last ')'.
    const QByteArray stat = readTestFile(QStringLiteral("/proc/%1/stat").arg(m_pid));
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    bool group = false, session = false;
    Belonging belonging{fields.value(2).toLongLong(&group), fields.value(3).toLongLong(&session)};
    if (!group || !session)
        return std::nullopt;
    return belonging;
}
