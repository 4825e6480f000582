#include "Platform/ProcessRunner.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/QtProcessRunner.h"

ProcessRunner &ProcessRunner::shared()
{
    return sharedPort<ProcessRunner, QtProcessRunner>();
}

void ProcessRunner::install(std::unique_ptr<ProcessRunner> runner)
{
    installedPort<ProcessRunner>() = std::move(runner);
}
