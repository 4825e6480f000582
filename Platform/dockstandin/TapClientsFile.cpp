#include "Platform/dockstandin/TapClientsFile.h"

#include "Platform/dockstandin/DockSideFile.h"

#include "Platform/logging/LoggedText.h"

#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <climits>
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
    QByteArray bytes = header + '\n';
    for (const Client &client : clients) {
        bytes += QByteArray::number(client.processIdentifier) + ' ' + QByteArray::number(client.started);
        if (client.keepsCopy)
            bytes += ' ' + keepsCopyMark;
        bytes += '\n';
    }
    QString why;
    if (DockSideFile::write(m_path, bytes, &why))
        return true;
    qCWarning(tapClientsLog, "Cannot keep the tap clients in %s: %s", qPrintable(loggedText(m_path)), qPrintable(why));
    return false;
}

QList<TapClientsFile::Client> TapClientsFile::read() const
{
    QString why;
    const std::optional<QByteArray> read = DockSideFile::read(m_path, maximumSize, &why);
    if (!read) {
        // No Dock kept one here: nobody is expected.
        if (!why.isEmpty())
            qCWarning(tapClientsLog, "Expecting no taps back: %s: %s", qPrintable(loggedText(m_path)), qPrintable(why));
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
