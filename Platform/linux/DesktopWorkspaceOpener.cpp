#include "Platform/linux/DesktopWorkspaceOpener.h"

#include "Platform/ApplicationBundles.h"
#include "Platform/Workspace.h"
#include "Platform/linux/DesktopEntry.h"
#include "Platform/linux/DesktopExec.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

OpenOutcome startDetached(const QStringList &command)
{
    if (command.isEmpty() || command.first().isEmpty())
        return {false, QStringLiteral("no command to start")};
    QProcess process;
    process.setProgram(command.first());
    process.setArguments(command.mid(1));
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return {false, process.errorString()};
    return {true, {}};
}

bool runsInTerminal(const QString &applicationPath)
{
    if (!applicationPath.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive))
        return false;
    const std::optional<DesktopEntry> entry = DesktopEntry::load(applicationPath);
    return entry && entry->boolean(QStringLiteral("Terminal"));
}

OpenOutcome startApplication(const QString &applicationPath, const QList<QUrl> &targets)
{
    // Started without one, a terminal program runs headless and writes its screen into our output.
    if (runsInTerminal(applicationPath) && DesktopWorkspaceOpener::terminalCommand().isEmpty()) {
        OpenOutcome outcome{false, QStringLiteral("%1 runs in a terminal, and there is none").arg(applicationPath)};
        outcome.needsTerminal = true;
        return outcome;
    }
    const QStringList command = DesktopWorkspaceOpener::applicationCommand(applicationPath, targets);
    if (command.isEmpty())
        return {false, QStringLiteral("%1 cannot be started").arg(applicationPath)};
    return startDetached(command);
}

} // namespace

QStringList DesktopWorkspaceOpener::terminalCommand()
{
    const QStringList chosen = QProcess::splitCommand(qEnvironmentVariable("TERMINAL"));
    if (!chosen.isEmpty() && !QStandardPaths::findExecutable(chosen.first()).isEmpty())
        return QStringList(chosen) << QStringLiteral("-e");
    if (!QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator")).isEmpty())
        return {QStringLiteral("x-terminal-emulator"), QStringLiteral("-e")};
    return {};
}

QStringList DesktopWorkspaceOpener::applicationCommand(const QString &applicationPath, const QList<QUrl> &targets)
{
    const std::optional<ApplicationBundle> bundle = ApplicationBundles::shared().bundleAt(applicationPath);
    if (!bundle)
        return {};
    const QVariant executable = bundle->informationValue(QStringLiteral("CFBundleExecutable"));
    if (executable.typeId() != QMetaType::QString || executable.toString().isEmpty())
        return {};
    if (applicationPath.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive)) {
        const QStringList command = desktopExecCommand(executable.toString(), targets);
        if (command.isEmpty() || !runsInTerminal(applicationPath))
            return command;
        const QStringList terminal = terminalCommand();
        return terminal.isEmpty() ? QStringList() : terminal + command;
    }
    // A bundle's executable is a file name inside the bundle, never a path of its own choosing.
    if (executable.toString().contains(u'/'))
        return {};
    QStringList command{bundle->path + QStringLiteral("/Contents/MacOS/") + executable.toString()};
    for (const QUrl &url : targets)
        command.append(url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded));
    return command;
}

OpenOutcome DesktopWorkspaceOpener::open(const QUrl &url, const std::optional<QString> &application, bool activate)
{
    Q_UNUSED(activate)
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile()))
        return {false, QStringLiteral("%1 does not exist").arg(url.toLocalFile())};
    if (application)
        return startApplication(*application, {url});
    if (url.isLocalFile() && ApplicationBundles::isApplicationPath(url.toLocalFile()))
        return startApplication(url.toLocalFile(), {});
    if (const std::optional<QString> handler = Workspace::shared().applicationToOpenURL(url)) {
        const OpenOutcome outcome = startApplication(*handler, {url});
        if (outcome.opened || outcome.needsTerminal)
            return outcome;
    }
    return startDetached({QStringLiteral("xdg-open"),
                          url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
}
