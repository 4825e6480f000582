#include "Platform/linux/DesktopWorkspaceOpener.h"

#include "Platform/ApplicationBundles.h"
#include "Platform/Workspace.h"
#include "Platform/linux/DesktopExec.h"

#include <QFileInfo>
#include <QProcess>

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

} // namespace

QStringList DesktopWorkspaceOpener::applicationCommand(const QString &applicationPath, const QList<QUrl> &targets)
{
    const std::optional<ApplicationBundle> bundle = ApplicationBundles::shared().bundleAt(applicationPath);
    if (!bundle)
        return {};
    const QVariant executable = bundle->informationValue(QStringLiteral("CFBundleExecutable"));
    if (executable.typeId() != QMetaType::QString || executable.toString().isEmpty())
        return {};
    if (applicationPath.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive))
        return desktopExecCommand(executable.toString(), targets);
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
    if (application) {
        const QStringList command = applicationCommand(*application, {url});
        if (command.isEmpty())
            return {false, QStringLiteral("%1 cannot be started").arg(*application)};
        return startDetached(command);
    }
    if (url.isLocalFile() && ApplicationBundles::isApplicationPath(url.toLocalFile())) {
        const QStringList command = applicationCommand(url.toLocalFile(), {});
        if (command.isEmpty())
            return {false, QStringLiteral("%1 cannot be started").arg(url.toLocalFile())};
        return startDetached(command);
    }
    if (const std::optional<QString> handler = Workspace::shared().applicationToOpenURL(url)) {
        const QStringList command = applicationCommand(*handler, {url});
        if (!command.isEmpty())
            return startDetached(command);
    }
    return startDetached({QStringLiteral("xdg-open"),
                          url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
}
