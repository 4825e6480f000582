#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// What a finished command left behind: its exit status (-1 when it could not be started, never 0
// for a command that crashed) and, when capture was asked for, what it wrote to standard output and
// standard error together, if that was valid UTF-8.
struct ProcessResult {
    int terminationStatus = -1;
    std::optional<QString> output;
};

// Starts command-line tools without waiting for them.
class ProcessRunner {
public:
    using Completion = std::function<void(ProcessResult)>;

    virtual ~ProcessRunner() = default;

    // The process-wide runner: real processes unless a test installed another.
    static ProcessRunner &shared();
    // Replaces the process-wide runner; nullptr goes back to real processes.
    static void install(std::unique_ptr<ProcessRunner> runner);

    // Runs `executable` (an absolute path) with `arguments` as they are, without a shell, in the
    // program's own environment and working folder. Without capture the tool writes to the program's
    // own standard output and error. Call from the main thread: `completion` runs exactly once, on the
    // main thread from its event loop, never inside this call. A run cannot be cancelled.
    virtual void run(const QString &executable, const QStringList &arguments, bool captureOutput, Completion completion) = 0;
};
