#include "Kestrowan/groups/AsyncProcess.h"

#include "Kestrowan/shell/Log.h"
#include "Platform/Accessibility.h"

#include <csignal>

#include <unistd.h>

void AsyncProcess::run(const QString &executableURL, const QStringList &arguments, bool captureOutput,
                       std::function<void(Result)> completion)
{
    ProcessRunner::shared().run(executableURL, arguments, captureOutput, std::move(completion));
}

QString dockServiceTarget(uint userID)
{
    return QStringLiteral("gui/%1/com.apple.Dock.agent").arg(userID);
}

void restartDock(std::function<void(bool)> completion)
{
    auto done = std::make_shared<std::function<void(bool)>>(std::move(completion));
    const auto finish = [done](bool restarted) {
        if (*done)
            (*done)(restarted);
    };

    const QStringList kickstart{QStringLiteral("kickstart"), QStringLiteral("-k"), dockServiceTarget(getuid())};
    AsyncProcess::run(QStringLiteral("/bin/launchctl"), kickstart, false, [finish](AsyncProcess::Result launchctl) {
        if (launchctl.terminationStatus == 0)
            return finish(true);
        qCCritical(dockLogger, "launchctl kickstart exited with status %d", launchctl.terminationStatus);

        const QStringList quitDock{QStringLiteral("-e"), QStringLiteral("quit app \"Dock\"")};
        AsyncProcess::run(QStringLiteral("/usr/bin/osascript"), quitDock, false, [finish](AsyncProcess::Result osascript) {
            if (osascript.terminationStatus == 0)
                return finish(true);
            qCCritical(dockLogger, "osascript quit Dock exited with status %d", osascript.terminationStatus);

            // `killall` reaches the Dock of every session of the user (of every user, for root); the
            // Dock that answers this session's Accessibility is the one whose tiles changed.
            const std::optional<qint64> dock = Accessibility::shared().dockProcessIdentifier();
            if (dock && *dock > 0 && ::kill(pid_t(*dock), SIGTERM) == 0)
                return finish(true);

            AsyncProcess::run(QStringLiteral("/usr/bin/killall"), {QStringLiteral("Dock")}, false, [finish](AsyncProcess::Result killall) {
                if (killall.terminationStatus == 0)
                    return finish(true);
                qCCritical(dockLogger, "killall Dock failed");
                finish(false);
            });
        });
    });
}
