#include "Platform/linux/HelperPreviewRenderer.h"

#include "Platform/thumbnailhelper/PixelTransfer.h"

#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

QString kindArgument(PreviewRenderer::Kind kind)
{
    switch (kind) {
    case PreviewRenderer::Kind::Picture: return QStringLiteral("picture");
    case PreviewRenderer::Kind::PdfPage: return QStringLiteral("pdf");
    case PreviewRenderer::Kind::VideoFrame: return QStringLiteral("video");
    }
    return QString();
}

} // namespace

HelperPreviewRenderer::HelperPreviewRenderer(const QString &helperProgram, int timeoutMs, int parallel)
    : m_helper(helperProgram), m_timeoutMs(timeoutMs), m_parallel(std::max(1, parallel))
{
}

HelperPreviewRenderer::~HelperPreviewRenderer()
{
    cancelAll();
}

void HelperPreviewRenderer::render(Kind kind, const QString &path)
{
    m_waiting.append({kind, path});
    startWaiting();
}

void HelperPreviewRenderer::cancelAll()
{
    m_waiting.clear();
    const QList<Run *> running = std::exchange(m_running, {});
    for (Run *run : running) {
        run->process->disconnect(this);
        killGroup(*run);
        // Killed, it ends at once; the wait only collects it, so no zombie outlives the renderer.
        run->process->waitForFinished(1000);
        delete run->process;
        delete run->deadline;
        delete run;
    }
}

void HelperPreviewRenderer::startWaiting()
{
    while (m_running.size() < m_parallel && !m_waiting.isEmpty()) {
        const auto [kind, path] = m_waiting.takeFirst();
        start(kind, path);
    }
}

void HelperPreviewRenderer::killGroup(const Run &run)
{
    if (run.group > 0)
        ::kill(-pid_t(run.group), SIGKILL);
}

void HelperPreviewRenderer::start(Kind kind, const QString &path)
{
    auto *run = new Run{path, new QProcess, new QTimer, {}, {}, 0};
    m_running.append(run);
    QProcess *process = run->process;
    process->setProgram(m_helper);
    process->setArguments({QStringLiteral("--preview"), kindArgument(kind), QFileInfo(path).absoluteFilePath()});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    // A group of its own, so that what the helper starts in turn ends with it.
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(process, &QProcess::readyReadStandardOutput, this, [run] {
        run->answer += run->process->readAllStandardOutput();
        if (run->answer.size() > PixelTransfer::maximumBytes) {
            run->failure = QStringLiteral("the helper's answer is larger than any picture");
            killGroup(*run);
        }
    });
    connect(process, &QProcess::finished, this, [this, run] { finish(run); });
    connect(process, &QProcess::errorOccurred, this, [this, run](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            run->failure = QStringLiteral("the helper did not start");
            finish(run);
        }
    });
    run->deadline->setSingleShot(true);
    connect(run->deadline, &QTimer::timeout, this, [this, run] {
        run->failure = QStringLiteral("the helper did not finish within %1 ms").arg(m_timeoutMs);
        killGroup(*run);
    });
    process->start();
    // A helper that could not start is answered for already.
    if (!m_running.contains(run))
        return;
    // The group exists once the child has run its modifier, which is before it reports started.
    if (process->state() != QProcess::NotRunning)
        run->group = process->processId();
    run->deadline->start(m_timeoutMs);
}

void HelperPreviewRenderer::finish(Run *run)
{
    if (!m_running.removeOne(run))
        return;
    run->process->disconnect(this);
    run->deadline->stop();
    run->answer += run->process->readAllStandardOutput();
    QImage picture;
    QString failure = run->failure;
    if (failure.isEmpty()) {
        if (run->process->exitStatus() != QProcess::NormalExit)
            failure = QStringLiteral("the helper ended at its limits");
        else if (run->process->exitCode() != 0)
            failure = QStringLiteral("the document gave no picture");
        else if (picture = PixelTransfer::decode(run->answer); picture.isNull())
            failure = QStringLiteral("the helper's answer is not a picture");
    }
    // A helper that crashed may leave children of its own behind.
    killGroup(*run);
    const QString path = run->path;
    run->process->deleteLater();
    run->deadline->deleteLater();
    delete run;
    startWaiting();
    emit rendered(path, picture, failure);
}
