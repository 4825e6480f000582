#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <csignal>
#include <sys/prctl.h>

namespace ProgramProcess {

// Starts the real program as the test's child: its output merged for the test to read, and ended
// with the test process should the test die first.
inline bool start(QProcess &program, const QString &path, const QProcessEnvironment &environment)
{
    program.setProgram(path);
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    program.start();
    return program.waitForStarted();
}

} // namespace ProgramProcess
