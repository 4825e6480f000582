#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <csignal>
#include <functional>
#include <sys/prctl.h>

namespace ProgramProcess {

// The program's environment: every log category on, X as its platform.
inline QProcessEnvironment environment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("com.kestrowan.*=true"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return environment;
}

// Starts the real program as the test's child: its output merged for the test to read, and ended
// with the test process should the test die first. `inChild` runs in the child before the program.
inline bool start(QProcess &program, const QString &path, const QProcessEnvironment &environment,
                  std::function<void()> inChild = {})
{
    program.setProgram(path);
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.setChildProcessModifier([inChild = std::move(inChild)] {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (inChild)
            inChild();
    });
    program.start();
    return program.waitForStarted();
}

} // namespace ProgramProcess
