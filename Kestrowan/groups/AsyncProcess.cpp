#include "Kestrowan/groups/AsyncProcess.h"

#include "Platform/DockRestarter.h"

void AsyncProcess::run(const QString &executableURL, const QStringList &arguments, bool captureOutput,
                       std::function<void(Result)> completion)
{
    ProcessRunner::shared().run(executableURL, arguments, captureOutput, std::move(completion));
}

void restartDock(std::function<void(bool)> completion)
{
    DockRestarter::shared().restart(std::move(completion));
}
