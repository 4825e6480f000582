#include "Platform/dockstandin/TapClientsFile.h"

#include "Platform/BoundedFile.h"
#include "Platform/logging/LoggedText.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(tapClientsLog, "com.kestrowan.dock.taps")

const QByteArray header = QByteArrayLiteral("kestrowan-dock-tap-clients 2");
// Written by the Dock before copies were kept in the list: read as programs that keep none.
const QByteArray firstHeader = QByteArrayLiteral("kestrowan-dock-tap-clients 1");
const QByteArray keepsCopyMark = QByteArrayLiteral("copy");

// Far more than the list of the most clients a Dock takes; a longer file is not one it wrote.
constexpr qsizetype maximumSize = 64 * 1024;
constexpr qsizetype maximumClients = 64;

// The start of running process `processIdentifier` from its line in /proc, which counts it in clock ticks
// after boot: the 22nd field, after a name in parentheses that may itself hold spaces and
// parentheses.
std::optional<quint64> startOf(qint64 processIdentifier)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(processIdentifier));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = stat.read(4096);
    const qsizetype nameEnd = line.lastIndexOf(')');
    if (nameEnd < 0)
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(nameEnd + 1).simplified().split(' ');
    // Fields from the third (the state) on. A process that has ended but is not yet collected
    // runs no more.
    if (fields.value(0) == "Z" || fields.value(0) == "X")
        return std::nullopt;
    constexpr int startField = 22 - 3;
    bool ok = false;
    const quint64 started = fields.value(startField).toULongLong(&ok);
    return ok ? std::optional<quint64>(started) : std::nullopt;
}

std::optional<TapClientsFile::Client> parseLine(const QByteArray &line, bool marksCopies)
{
    const QList<QByteArray> fields = line.split(' ');
    const bool keepsCopy = marksCopies && fields.size() == 3 && fields.at(2) == keepsCopyMark;
    if (fields.size() != 2 && !keepsCopy)
        return std::nullopt;
    bool pidOk = false;
    bool startOk = false;
    const TapClientsFile::Client client{fields.at(0).toLongLong(&pidOk), fields.at(1).toULongLong(&startOk), keepsCopy};
    if (!pidOk || !startOk || client.processIdentifier <= 0 || client.processIdentifier > INT_MAX)
        return std::nullopt;
    return client;
}

} // namespace

TapClientsFile::TapClientsFile(QString path)
    : m_path(std::move(path))
{
}

QString TapClientsFile::besideSocket(const QString &socketPath)
{
    return socketPath + QStringLiteral(".tap-clients");
}

std::optional<TapClientsFile::Client> TapClientsFile::running(qint64 processIdentifier)
{
    if (processIdentifier <= 0 || processIdentifier > INT_MAX)
        return std::nullopt;
    const std::optional<quint64> started = startOf(processIdentifier);
    if (!started)
        return std::nullopt;
    return Client{processIdentifier, *started};
}

bool TapClientsFile::stillRuns(const Client &client)
{
    const std::optional<Client> now = running(client.processIdentifier);
    return now && now->isSameProcess(client);
}

bool TapClientsFile::write(const QList<Client> &clients) const
{
    // Made for this user alone before its contents go in: the replacement keeps the mode it finds.
    // Only a regular file is written, never what a link names.
    const QByteArray name = QFile::encodeName(m_path);
    const int descriptor = ::open(name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        qCWarning(tapClientsLog, "Cannot keep the tap clients in %s: %s", qPrintable(loggedText(m_path)), std::strerror(errno));
        return false;
    }
    struct stat status {};
    const bool regular = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)
        && ((status.st_mode & 07777) == 0600 || ::fchmod(descriptor, 0600) == 0);
    ::close(descriptor);
    if (!regular) {
        qCWarning(tapClientsLog, "Cannot keep the tap clients in %s: not a regular file of this user's", qPrintable(loggedText(m_path)));
        return false;
    }
    QByteArray bytes = header + '\n';
    for (const Client &client : clients) {
        bytes += QByteArray::number(client.processIdentifier) + ' ' + QByteArray::number(client.started);
        if (client.keepsCopy)
            bytes += ' ' + keepsCopyMark;
        bytes += '\n';
    }
    // It says what runs now and is made again at once: no need to force it to the disk.
    if (const std::optional<QString> failure = SafeWrite::replaceFile(m_path, bytes, SafeWrite::Folder::MustExist,
                                                                      SafeWrite::Durability::Rebuilt)) {
        qCWarning(tapClientsLog, "Cannot keep the tap clients in %s: %s", qPrintable(loggedText(m_path)),
                  qPrintable(*failure));
        return false;
    }
    return true;
}

QList<TapClientsFile::Client> TapClientsFile::read() const
{
    // No Dock kept one here: nobody is expected.
    if (!QFileInfo::exists(m_path))
        return {};
    QString failure;
    const std::optional<QByteArray> read = readSmallFile(m_path, maximumSize, &failure);
    if (!read) {
        qCWarning(tapClientsLog, "Expecting no taps back: cannot read %s: %s", qPrintable(loggedText(m_path)),
                  qPrintable(failure));
        return {};
    }
    const QByteArray &bytes = *read;
    QList<QByteArray> lines = bytes.split('\n');
    // A whole file ends its last line.
    const bool whole = bytes.endsWith('\n') && lines.takeLast().isEmpty();
    QList<Client> clients;
    const QByteArray first = lines.isEmpty() ? QByteArray() : lines.takeFirst();
    bool readable = whole && (first == header || first == firstHeader) && lines.size() <= maximumClients;
    for (qsizetype i = 0; readable && i < lines.size(); ++i) {
        const std::optional<Client> client = parseLine(lines.at(i), first == header);
        readable = client.has_value();
        if (client)
            clients.append(*client);
    }
    if (!readable) {
        qCWarning(tapClientsLog, "Expecting no taps back: %s is not a list of tap clients", qPrintable(loggedText(m_path)));
        return {};
    }
    return clients;
}

QList<TapClientsFile::Client> TapClientsFile::stillRunning() const
{
    const qint64 self = ::getpid();
    QList<Client> running;
    for (const Client &client : read()) {
        const bool listed = std::any_of(running.cbegin(), running.cend(), [&client](const Client &other) {
            return other.processIdentifier == client.processIdentifier;
        });
        if (client.processIdentifier != self && !listed && stillRuns(client))
            running.append(client);
    }
    return running;
}
