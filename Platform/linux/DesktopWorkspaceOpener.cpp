#include "Platform/linux/DesktopWorkspaceOpener.h"

#include "Platform/ApplicationBundles.h"
#include "Platform/Workspace.h"
#include "Platform/linux/ChildOutput.h"
#include "Platform/linux/ChildProcess.h"
#include "Platform/linux/DesktopEntry.h"
#include "Platform/linux/DesktopExec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
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
    process->setStandardInputFile(QProcess::nullDevice());
    // What xdg-open and the tools it runs say goes to the program's log, not to its terminal. The
    // handler it starts inherits the same streams and may outlive the program: a file, not a
    // pipe, so that it never meets a closed pipe (and its end) once the program has gone.
    auto *said = new QTemporaryFile(QDir::tempPath() + QStringLiteral("/kestrowan-open-XXXXXX"), process);
    if (said->open()) {
        process->setStandardOutputFile(said->fileName(), QIODevice::Append);
        process->setStandardErrorFile(said->fileName(), QIODevice::Append);
    } else {
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
    }
    // The handler xdg-open starts is the user's, and outlives the program.
    ChildProcess::prepare(*process, ChildProcess::Tie::Detached);
    auto told = std::make_shared<bool>(false);
    const auto tell = [told, settled](const OpenOutcome &outcome) {
        if (std::exchange(*told, true))
            return;
        if (settled)
            settled(outcome);
    };
    QObject::connect(process, &QProcess::finished, process, [process, said, tell, target](int code, QProcess::ExitStatus status) {
        ChildOutput output;
        if (said->isOpen() && said->seek(0))
            output.append(said->read(ChildOutput::keptBytes + 1));
        // Its words about a failure go with the failure, as one message.
        const QString words = output.text(QStringLiteral("xdg-open"));
        if (status == QProcess::NormalExit && code == 0) {
            output.log(QStringLiteral("xdg-open"));
            tell({true, {}});
        } else {
            tell({false, QStringLiteral("xdg-open could not open %1 (exit status %2)%3")
                             .arg(target).arg(code).arg(words.isEmpty() ? QString() : QStringLiteral("; ") + words)});
        }
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
