#pragma once

#include "Platform/ProcessRunner.h"

#include <functional>

// Runs command-line tools and the Dock restart without blocking the main thread.
//
// Asynchronous calls in this folder share one pattern: the last argument is a completion that is
// called exactly once, on the main thread from its event loop and never inside the call itself, so
// code written after the call always runs before the completion. A completion that captures an
// object which may be destroyed first should hold it through a QPointer and check it.
class AsyncProcess {
public:
    using Result = ProcessResult;

    AsyncProcess() = delete;

    // `executableURL` is the tool's absolute path; `arguments` are passed as they are, without a
    // shell. A tool that cannot be started gives -1 and no output.
    static void run(const QString &executableURL, const QStringList &arguments, bool captureOutput,
                    std::function<void(Result)> completion);
};

// Restarts the Dock: first through launchd, then by asking the Dock to quit, last with killall
// (which is what restarts the stand-in Dock here); each try runs only when the one before it did not
// exit with 0. The completion gets true when one of them did. Does not wait for the Dock to come back.
void restartDock(std::function<void(bool)> completion);

// The launchd target of the user's Dock: "gui/<uid>/com.apple.Dock.agent".
QString dockServiceTarget(uint userID);
