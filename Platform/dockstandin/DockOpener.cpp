#include "Platform/dockstandin/DockOpener.h"

#include "Platform/dockstandin/SessionBusAddress.h"
#include "Platform/linux/ChildProcess.h"
#include "Platform/logging/LoggedText.h"

#include <QFile>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(openerLog, "com.kestrowan.dock.open")

// The application is the user's and outlives the Dock: it gets none of the Dock's streams or
// descriptors, only /dev/null.
bool startDetached(const QString &program, const QStringList &arguments)
{
    if (program.isEmpty())
        return false;
    QString error;
    if (ChildProcess::startDetached(QStringList(program) + arguments, &error, SessionBusAddress::launchEnvironment()))
        return true;
    qCWarning(openerLog, "%s", qPrintable(loggedText(error)));
    return false;
}

} // namespace

void DockOpener::open(const DockTileEntry &entry, const std::optional<ApplicationInfo> &application)
{
    const QString log = qEnvironmentVariable("KESTROWAN_DOCK_OPEN_LOG");
    if (!log.isEmpty()) {
        QFile file(log);
        if (file.open(QIODevice::Append | QIODevice::WriteOnly))
            file.write(entry.path.toUtf8() + '\n');
        else
            qCWarning(openerLog, "Cannot append to %s", qPrintable(log));
        return;
    }
    const bool started = entry.kind == DockTileEntry::Kind::Application && application
        ? startDetached(application->program, application->arguments)
        : startDetached(QStringLiteral("xdg-open"), {entry.path});
    if (!started)
        qCWarning(openerLog, "Could not open %s", qPrintable(loggedText(entry.path)));
}
