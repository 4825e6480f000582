#include "Platform/dockstandin/RunningApplicationsFile.h"

#include "Platform/dockstandin/DockSideFile.h"
#include "Platform/logging/LoggedText.h"

#include <QLoggingCategory>

#include <algorithm>
#include <climits>

namespace {

Q_LOGGING_CATEGORY(runningLog, "com.kestrowan.dock")

const QByteArray header = QByteArrayLiteral("kestrowan-dock-running-applications 1");
constexpr qsizetype maximumApplications = 64;
// A name of one short line, a path, and an icon the Dock takes (at most 512 KB), each a line.
constexpr qsizetype maximumNameSize = 1024;
constexpr qsizetype maximumExecutableSize = 8192;
constexpr qsizetype maximumIconSize = 512 * 1024;
constexpr qsizetype maximumSize = 4 * 1024 * 1024;

std::optional<QByteArray> decoded(const QByteArray &field, qsizetype maximum)
{
    const QByteArray::FromBase64Result result =
        QByteArray::fromBase64Encoding(field, QByteArray::AbortOnBase64DecodingErrors);
    if (!result || result.decoded.size() > maximum || result.decoded.toBase64() != field)
        return std::nullopt;
    return result.decoded;
}

std::optional<RunningApplicationsFile::Application> parseLine(const QByteArray &line)
{
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() != 5)
        return std::nullopt;
    bool pidOk = false;
    bool startOk = false;
    RunningApplicationsFile::Application application;
    application.process = {fields.at(0).toLongLong(&pidOk), fields.at(1).toULongLong(&startOk)};
    const std::optional<QByteArray> name = decoded(fields.at(2), maximumNameSize);
    const std::optional<QByteArray> executable = decoded(fields.at(3), maximumExecutableSize);
    const std::optional<QByteArray> icon = decoded(fields.at(4), maximumIconSize);
    if (!pidOk || !startOk || application.process.processIdentifier <= 0 || application.process.processIdentifier > INT_MAX
        || !name || !executable || !icon || executable->isEmpty())
        return std::nullopt;
    application.name = QString::fromUtf8(*name);
    application.executable = QString::fromUtf8(*executable);
    application.icon = *icon;
    return application;
}

} // namespace

RunningApplicationsFile::RunningApplicationsFile(QString path)
    : m_path(std::move(path))
{
}

QString RunningApplicationsFile::besideSocket(const QString &socketPath)
{
    return socketPath + QStringLiteral(".running-applications");
}

bool RunningApplicationsFile::write(const QList<Application> &applications) const
{
    QByteArray bytes = header + '\n';
    for (const Application &application : applications.mid(0, maximumApplications)) {
        const QByteArray name = application.name.toUtf8().left(maximumNameSize);
        const QByteArray executable = application.executable.toUtf8();
        if (executable.isEmpty() || executable.size() > maximumExecutableSize)
            continue;
        // An icon that would make the list larger than a Dock reads is left out: the tile keeps its
        // place, with the stand-in picture until the program tells its own.
        QByteArray line = QByteArray::number(application.process.processIdentifier) + ' '
            + QByteArray::number(application.process.started) + ' ' + name.toBase64() + ' ' + executable.toBase64() + ' ';
        if (application.icon.size() <= maximumIconSize
            && bytes.size() + line.size() + application.icon.size() * 4 / 3 + 8 < maximumSize)
            line += application.icon.toBase64();
        if (bytes.size() + line.size() + 1 > maximumSize)
            break;
        bytes += line + '\n';
    }
    QString why;
    if (DockSideFile::write(m_path, bytes, &why))
        return true;
    qCWarning(runningLog, "Cannot keep the running applications in %s: %s", qPrintable(loggedText(m_path)), qPrintable(why));
    return false;
}

QList<RunningApplicationsFile::Application> RunningApplicationsFile::read() const
{
    QString why;
    const std::optional<QByteArray> read = DockSideFile::read(m_path, maximumSize, &why);
    if (!read) {
        if (!why.isEmpty())
            qCWarning(runningLog, "Expecting no running applications: %s: %s", qPrintable(loggedText(m_path)), qPrintable(why));
        return {};
    }
    QList<QByteArray> lines = read->split('\n');
    const bool whole = read->endsWith('\n') && lines.takeLast().isEmpty();
    const QByteArray first = lines.isEmpty() ? QByteArray() : lines.takeFirst();
    bool readable = whole && first == header && lines.size() <= maximumApplications;
    QList<Application> applications;
    for (qsizetype i = 0; readable && i < lines.size(); ++i) {
        const std::optional<Application> application = parseLine(lines.at(i));
        readable = application.has_value();
        if (application)
            applications.append(*application);
    }
    if (!readable) {
        qCWarning(runningLog, "Expecting no running applications: %s is not a list of them", qPrintable(loggedText(m_path)));
        return {};
    }
    return applications;
}

QList<RunningApplicationsFile::Application> RunningApplicationsFile::stillRunning() const
{
    QList<Application> running;
    for (const Application &application : read()) {
        const bool listed = std::any_of(running.cbegin(), running.cend(), [&application](const Application &other) {
            return other.process.processIdentifier == application.process.processIdentifier;
        });
        if (!listed && TapClientsFile::stillRuns(application.process))
            running.append(application);
    }
    return running;
}
