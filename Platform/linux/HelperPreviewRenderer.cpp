#include "Platform/linux/HelperPreviewRenderer.h"

#include "Platform/linux/WatchedHelper.h"
#include "Platform/thumbnailhelper/PixelTransfer.h"

#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

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

struct HelperPreviewRenderer::Run : WatchedHelper {
    QString path;
    QByteArray answer;
    QString failure;
    bool transient = false;
};

HelperPreviewRenderer::HelperPreviewRenderer(const QString &helperProgram, int timeoutMs, int parallel, const QString &pictureHelper,
                                             const QString &pageHelper)
    : m_helper(helperProgram), m_pictureHelper(pictureHelper), m_pageHelper(pageHelper), m_timeoutMs(timeoutMs),
      m_parallel(std::max(1, parallel))
{
}

const QString &HelperPreviewRenderer::helperFor(Kind kind) const
{
    const QString &lighter = kind == Kind::Picture ? m_pictureHelper : kind == Kind::PdfPage ? m_pageHelper : m_helper;
    return lighter.isEmpty() ? m_helper : lighter;
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
    m_failed.clear();
    const QList<Run *> running = std::exchange(m_running, {});
    for (Run *run : running) {
        // Killed, it ends at once; collecting it here leaves no zombie behind the renderer.
        run->child.kill();
        WatchedHelper::release(run);
    }
}

void HelperPreviewRenderer::startWaiting()
{
    // A start that fails takes no place among the running ones: the loop goes on with the next.
    while (m_running.size() < m_parallel && !m_waiting.isEmpty()) {
        const auto [kind, path] = m_waiting.takeFirst();
        start(kind, path);
    }
}

bool HelperPreviewRenderer::start(Kind kind, const QString &path)
{
    auto run = std::make_unique<Run>();
    run->path = path;
    const QString &helper = helperFor(kind);
    if (helper.isEmpty()
        || !run->child.start({helper, QStringLiteral("--preview"), kindArgument(kind), QFileInfo(path).absoluteFilePath()},
                             true, BoundedChild::Mode::OwnLimits)) {
        m_failed.append({path,
                         helper.isEmpty() ? QStringLiteral("there is no thumbnail helper")
                                            : QStringLiteral("the helper did not start: %1").arg(run->child.errorString()),
                         true});
        if (!std::exchange(m_reportQueued, true))
            QMetaObject::invokeMethod(this, &HelperPreviewRenderer::reportFailures, Qt::QueuedConnection);
        return false;
    }
    Run *started = run.release();
    m_running.append(started);
    started->ended = new QSocketNotifier(started->child.endedDescriptor(), QSocketNotifier::Read);
    connect(started->ended, &QSocketNotifier::activated, this, [this, started] { finish(started); });
    started->output = new QSocketNotifier(started->child.outputDescriptor(), QSocketNotifier::Read);
    connect(started->output, &QSocketNotifier::activated, this, [started] {
        const BoundedChild::Output read = started->child.readOutput(started->answer, PixelTransfer::maximumBytes);
        if (read == BoundedChild::Output::TooLarge) {
            started->failure = QStringLiteral("the helper's answer is larger than any picture");
            started->child.kill();
        }
        if (read != BoundedChild::Output::More)
            started->output->setEnabled(false);
    });
    started->deadline = new QTimer;
    started->deadline->setSingleShot(true);
    connect(started->deadline, &QTimer::timeout, this, [this, started] {
        // A helper that waited for the processor on a busy machine may well finish another time.
        started->transient = started->child.cpuMilliseconds() < m_timeoutMs / 2;
        started->failure = QStringLiteral("the helper did not finish within %1 ms").arg(m_timeoutMs);
        started->child.kill();
    });
    started->deadline->start(m_timeoutMs);
    return true;
}

void HelperPreviewRenderer::reportFailures()
{
    m_reportQueued = false;
    const QList<Answer> failed = std::exchange(m_failed, {});
    for (const Answer &answer : failed)
        emit rendered(answer.path, QImage(), answer.failure, answer.transient);
}

void HelperPreviewRenderer::finish(Run *run)
{
    if (!m_running.removeOne(run))
        return;
    run->ended->setEnabled(false);
    if (run->failure.isEmpty()
        && run->child.readOutput(run->answer, PixelTransfer::maximumBytes) == BoundedChild::Output::TooLarge)
        run->failure = QStringLiteral("the helper's answer is larger than any picture");
    const std::optional<BoundedChild::Exit> exit = run->child.collect();
    QImage picture;
    QString failure = run->failure;
    bool transient = run->transient;
    if (failure.isEmpty())
        failure = WatchedHelper::failureOfEnd(exit, transient);
    if (failure.isEmpty()) {
        if (exit->code != 0) {
            failure = QStringLiteral("the document gave no picture");
        } else if (picture = PixelTransfer::decode(run->answer); picture.isNull()) {
            failure = QStringLiteral("the helper's answer is not a picture");
        }
    }
    const QString path = run->path;
    WatchedHelper::release(run);
    startWaiting();
    emit rendered(path, picture, failure, transient);
}
