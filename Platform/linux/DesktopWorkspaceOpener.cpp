#include "Platform/linux/DesktopWorkspaceOpener.h"

#include "Platform/ApplicationBundles.h"
#include "Platform/Workspace.h"
#include "Platform/linux/ChildProcess.h"
#include "Platform/linux/DesktopEntry.h"
#include "Platform/linux/DesktopExec.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <memory>
#include <utility>

namespace {

OpenOutcome startDetached(const QStringList &command)
{
    if (command.isEmpty() || command.first().isEmpty())
        return {false, QStringLiteral("no command to start")};
    QString error;
    if (!ChildProcess::startDetached(command, &error))
        return {false, error};
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

// What xdg-open's exit status says went wrong.
QString xdgOpenFailure(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("it was not asked rightly");
    case 2:
        return QStringLiteral("the file does not exist");
    case 3:
        // No handler for the address's kind, or a tool the handler needs is missing.
        return QStringLiteral("nothing here can open it");
    case 4:
        return QStringLiteral("the application failed");
    default:
        return QStringLiteral("it failed");
    }
}

// xdg-open, watched until it tells. The process belongs to the application object, which ends it
// when the program quits (or, at the latest, when it goes); its handler, once started, lives on.
OpenOutcome openThroughDesktop(const QString &target, OpenCompletion settled)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return startDetached({QStringLiteral("xdg-open"), target});
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (program.isEmpty())
        return {false, QStringLiteral("no application opens %1, and xdg-open is not installed").arg(target)};
    auto *process = new QProcess(application);
    process->setProgram(program);
    process->setArguments({target});
    // The handler xdg-open starts inherits its streams, and is the user's: it may outlive the
    // program and write for as long as it runs. Nothing of the program's reaches it, neither a pipe
    // nor a file; xdg-open tells how it failed by its exit status alone.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    // The handler xdg-open starts is the user's, and outlives the program.
    ChildProcess::prepare(*process, ChildProcess::Tie::Detached);
    auto told = std::make_shared<bool>(false);
    const auto tell = [told, settled](const OpenOutcome &outcome) {
        if (std::exchange(*told, true))
            return;
        if (settled)
            settled(outcome);
    };
    QObject::connect(process, &QProcess::finished, process, [process, tell, target](int code, QProcess::ExitStatus status) {
        if (status == QProcess::NormalExit && code == 0)
            tell({true, {}});
        else if (status == QProcess::NormalExit)
            tell({false, QStringLiteral("xdg-open could not open %1 (exit status %2: %3)").arg(target).arg(code).arg(xdgOpenFailure(code))});
        else
            tell({false, QStringLiteral("xdg-open could not open %1 (it was ended)").arg(target)});
        process->deleteLater();
    });
    // Queued: a start that fails at once still answers after `open` has returned.
    QObject::connect(process, &QProcess::errorOccurred, process, [process, tell](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        tell({false, process->errorString()});
        process->deleteLater();
    }, Qt::QueuedConnection);
    QTimer::singleShot(DesktopWorkspaceOpener::foregroundHandlerGrace, process, [tell] { tell({true, {}}); });
    QObject::connect(application, &QCoreApplication::aboutToQuit, process, [process] {
        process->kill();
        process->waitForFinished(1000);
    });
    process->start();
    OpenOutcome pending;
    pending.pending = true;
    return pending;
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

OpenOutcome DesktopWorkspaceOpener::open(const QUrl &url, const std::optional<QString> &application, bool activate,
                                         OpenCompletion settled)
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
    return openThroughDesktop(url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded), std::move(settled));
}
