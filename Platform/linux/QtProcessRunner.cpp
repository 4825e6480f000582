#include "Platform/linux/QtProcessRunner.h"

#include "Platform/MainThread.h"
#include "Platform/linux/ChildOutput.h"
#include "Platform/linux/ChildProcess.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>

namespace {

// Delivers from the event loop, so a caller never sees its completion run inside its own call,
// whichever way QProcess reports a failure to start.
void deliver(ProcessRunner::Completion completion, ProcessResult result)
{
    postToMainThread([completion = std::move(completion), result = std::move(result)] {
        if (completion)
            completion(result);
    });
}

std::optional<QString> decodeOutput(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

void QtProcessRunner::run(const QString &executable, const QStringList &arguments, bool captureOutput, Completion completion)
{
    struct RunState {
        QByteArray output;
        // What the tool says when its output is not asked for: only what the log holds is kept.
        ChildOutput said;
        bool completed = false;
        Completion completion;
    };
    // A tool this machine lacks fails as a failed start would, without a fork for it: a sync of
    // many groups asks for the same missing tool once per folder.
    if (!QFileInfo(executable).isExecutable()) {
        ProcessResult result;
        result.terminationStatus = -1;
        deliver(std::move(completion), std::move(result));
        return;
    }
    auto state = std::make_shared<RunState>();
    state->completion = std::move(completion);

    auto *process = new QProcess;
    process->setProgram(executable);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    // Read either way: what a tool says when its output is not asked for goes to the log, never raw
    // to the program's terminal.
    process->setProcessChannelMode(QProcess::MergedChannels);
    ChildProcess::prepare(*process, ChildProcess::Tie::Bounded);

    const auto finish = [state, process, captureOutput](int status) {
        if (state->completed)
            return;
        state->completed = true;
        ProcessResult result;
        result.terminationStatus = status;
        if (captureOutput && status != -1) {
            state->output += process->readAllStandardOutput();
            result.output = decodeOutput(state->output);
        } else if (!captureOutput) {
            state->said.append(process->readAllStandardOutput());
            state->said.log(QFileInfo(process->program()).fileName());
        }
        process->deleteLater();
        deliver(std::move(state->completion), std::move(result));
    };

    QObject::connect(process, &QProcess::readyReadStandardOutput, process, [state, process, captureOutput] {
        if (captureOutput)
            state->output += process->readAllStandardOutput();
        else
            state->said.append(process->readAllStandardOutput());
    });
    QObject::connect(process, &QProcess::finished, process, [finish](int exitCode, QProcess::ExitStatus exitStatus) {
        if (exitStatus == QProcess::NormalExit) {
            finish(exitCode);
            return;
        }
        // A tool killed by a signal reports the signal's number, as the platform does; it is never
        // taken for success.
        finish(exitCode > 0 ? exitCode : -1);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [finish](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(-1);
    });
    process->start();
}
