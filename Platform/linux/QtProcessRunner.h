#pragma once

#include "Platform/ProcessRunner.h"

// Real processes through QProcess, driven by the event loop: nothing here blocks the caller's
// thread, and captured output is drained while the tool runs, so a tool that writes more than a
// pipe holds never stalls.
class QtProcessRunner final : public ProcessRunner {
public:
    void run(const QString &executable, const QStringList &arguments, bool captureOutput, Completion completion) override;
};
