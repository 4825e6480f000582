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

// Restarts this session's Dock through the platform layer (DockRestarter): the completion gets true
// once the new Dock answers. A restart asked for while one is under way waits for it.
void restartDock(std::function<void(bool)> completion);
