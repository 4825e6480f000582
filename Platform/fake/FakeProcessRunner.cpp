#include "Platform/fake/FakeProcessRunner.h"

#include "Platform/MainThread.h"

QStringList FakeProcessRunner::executables() const
{
    QStringList names;
    for (const Invocation &invocation : invocations)
        names.append(invocation.executable);
    return names;
}

void FakeProcessRunner::run(const QString &executable, const QStringList &arguments, bool captureOutput, Completion completion)
{
    invocations.append({executable, arguments, captureOutput});
    ProcessResult result = results.value(executable, ProcessResult{-1, std::nullopt});
    if (!captureOutput || result.terminationStatus == -1)
        result.output.reset();
    postToMainThread([completion = std::move(completion), result] {
        if (completion)
            completion(result);
    });
}
