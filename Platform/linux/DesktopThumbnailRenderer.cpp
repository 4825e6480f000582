#include "Platform/linux/DesktopThumbnailRenderer.h"

#include "Platform/linux/BoundedChild.h"
#include "Platform/linux/ChildProcess.h"
#include "Platform/linux/DesktopEntry.h"

#include "Platform/thumbnailhelper/PageDrawing.h"
#include "Platform/thumbnailhelper/PixelTransfer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLoggingCategory>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QRandomGenerator>
#include <QUrl>


namespace {

Q_LOGGING_CATEGORY(thumbnailLog, "com.kestrowan.app.app")

const QString kThumbnailerGroup = QStringLiteral("Thumbnailer Entry");
// The helper's exit status for a file it will not read for its size.
constexpr int kRefusedForSize = 3;
// Exit status of a child that could not execute its program.
constexpr int kCouldNotExecute = 127;

} // namespace

QString DesktopThumbnailRenderer::helperProgram()
{
    return ChildProcess::helperProgram();
}

QStringList DesktopThumbnailRenderer::defaultThumbnailerFolders()
{
    return QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("thumbnailers"),
                                     QStandardPaths::LocateDirectory);
}

DesktopThumbnailRenderer::DesktopThumbnailRenderer(const QStringList &thumbnailerFolders, int timeoutMs)
    : m_folders(thumbnailerFolders), m_timeoutMs(timeoutMs)
{
}

QImage DesktopThumbnailRenderer::render(const QString &path, const QSize &pixelSize)
{
    m_lastTransient = false;
    if (m_cancelled || pixelSize.isEmpty() || !QFileInfo(path).isFile())
        return QImage();
    Run run = Run::NoPicture;
    const QImage drawn = drawWithHelper(path, pixelSize, run);
    if (drawn.isNull() && run == Run::NoPicture)
        return drawWithThumbnailer(path, pixelSize, run);
    m_lastTransient = drawn.isNull() && run == Run::Transient;
    return drawn;
}

void DesktopThumbnailRenderer::cancel()
{
    m_cancelled = true;
    const std::lock_guard lock(m_runningLock);
    if (m_running)
        m_running->kill();
}

QImage DesktopThumbnailRenderer::renderWithQt(const QString &path, const QSize &pixelSize)
{
    Run run = Run::NoPicture;
    return drawWithHelper(path, pixelSize, run);
}

QImage DesktopThumbnailRenderer::renderWithThumbnailer(const QString &path, const QSize &pixelSize)
{
    Run run = Run::NoPicture;
    return drawWithThumbnailer(path, pixelSize, run);
}

QImage DesktopThumbnailRenderer::drawWithHelper(const QString &path, const QSize &pixelSize, Run &run)
{
    run = Run::NoPicture;
    if (!PageDrawing::drawsType(path))
        return QImage();
    const QString helper = helperProgram();
    if (helper.isEmpty()) {
        run = Run::Transient;
        return QImage();
    }
    // The helper hands its pixels over its output: no file of it outlives a program killed meanwhile.
    QByteArray pixels;
    run = runBounded({helper, QStringLiteral("--thumbnail"), QFileInfo(path).absoluteFilePath(), QString::number(pixelSize.width()),
                      QString::number(pixelSize.height())},
                     true, &pixels);
    if (run != Run::Done)
        return QImage();
    return takenPixels(pixels, pixelSize, run);
}

QImage DesktopThumbnailRenderer::takenPixels(const QByteArray &pixels, const QSize &pixelSize, Run &run)
{
    const QImage picture = PixelTransfer::decode(pixels);
    if (picture.isNull() || picture.width() > pixelSize.width() || picture.height() > pixelSize.height()) {
        run = Run::NoPicture;
        return QImage();
    }
    return picture;
}

DesktopThumbnailRenderer::Run DesktopThumbnailRenderer::runBounded(const QStringList &arguments, bool ownLimits,
                                                                   QByteArray *output, const QStringList &supervision)
{
    if (m_cancelled)
        return Run::Cancelled;
    BoundedChild child;
    if (!child.start(arguments, output != nullptr, ownLimits ? BoundedChild::Mode::OwnLimits : BoundedChild::Mode::Supervised, false,
                     supervision)) {
        qCWarning(thumbnailLog, "%s", qUtf8Printable(child.errorString()));
        return Run::Transient;
    }
    {
        const std::lock_guard lock(m_runningLock);
        m_running = &child;
    }
    if (m_cancelled)
        child.kill();
    QDeadlineTimer deadline(m_timeoutMs);
    bool reading = output != nullptr;
    std::optional<Run> cut;
    for (;;) {
        if (reading) {
            // Read as it comes (a pipe holds little), never beyond the largest picture.
            const BoundedChild::Output read = child.readOutput(*output, PixelTransfer::maximumBytes);
            reading = read == BoundedChild::Output::More;
            if (read == BoundedChild::Output::TooLarge) {
                cut = Run::AtLimits;
                break;
            }
        }
        if (child.hasEnded()) {
            if (reading && child.readOutput(*output, PixelTransfer::maximumBytes) == BoundedChild::Output::TooLarge)
                cut = Run::AtLimits;
            break;
        }
        if (deadline.hasExpired()) {
            // A child that had the processor for most of its time is stuck on the document; one that
            // waited for it on a busy machine may well finish another time.
            cut = child.cpuMilliseconds() >= m_timeoutMs / 2 ? Run::AtLimits : Run::Transient;
            break;
        }
        child.wait(int(std::max<qint64>(deadline.remainingTime(), 1)), reading);
    }
    if (cut)
        child.kill();
    const std::optional<BoundedChild::Exit> exit = child.collect();
    {
        const std::lock_guard lock(m_runningLock);
        m_running = nullptr;
    }
    if (m_cancelled)
        return Run::Cancelled;
    if (cut)
        return *cut;
    if (!exit)
        return Run::Transient;
    if (!exit->exited)
        return Run::AtLimits;
    switch (exit->code) {
    case 0: return Run::Done;
    case kRefusedForSize: return Run::Refused;
    case kCouldNotExecute: return Run::Transient;
    default: return Run::NoPicture;
    }
}

std::optional<QStringList> DesktopThumbnailRenderer::execArguments(const QString &exec, const QString &input,
                                                                   const QString &output, int size)
{
    QStringList arguments;
    for (const QString &word : QProcess::splitCommand(exec)) {
        QString filled;
        for (qsizetype i = 0; i < word.size(); ++i) {
            if (word[i] != QLatin1Char('%')) {
                filled += word[i];
                continue;
            }
            if (++i >= word.size())
                return std::nullopt;
            switch (word[i].unicode()) {
            case 'i': filled += input; break;
            case 'u': filled += QUrl::fromLocalFile(input).toString(QUrl::FullyEncoded); break;
            case 'o': filled += output; break;
            case 's': filled += QString::number(size); break;
            case '%': filled += QLatin1Char('%'); break;
            default: return std::nullopt;
            }
        }
        arguments.append(filled);
    }
    if (arguments.isEmpty() || arguments.first().isEmpty())
        return std::nullopt;
    return arguments;
}

const QList<DesktopThumbnailRenderer::Thumbnailer> &DesktopThumbnailRenderer::thumbnailers()
{
    QMutexLocker locker(&m_lock);
    if (!m_thumbnailers) {
        QList<Thumbnailer> found;
        for (const QString &folder : std::as_const(m_folders)) {
            const QDir dir(folder);
            const QStringList names = dir.entryList({QStringLiteral("*.thumbnailer")}, QDir::Files, QDir::Name);
            for (const QString &name : names) {
                const std::optional<DesktopEntry> entry = DesktopEntry::load(dir.filePath(name), kThumbnailerGroup);
                if (!entry || entry->value(QStringLiteral("Exec")).isEmpty())
                    continue;
                found.append({entry->value(QStringLiteral("TryExec")), entry->value(QStringLiteral("Exec")),
                              entry->listValue(QStringLiteral("MimeType"))});
            }
        }
        m_thumbnailers = found;
    }
    return *m_thumbnailers;
}

std::optional<DesktopThumbnailRenderer::Thumbnailer> DesktopThumbnailRenderer::thumbnailerFor(const QString &path)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    QStringList names = type.aliases();
    names.prepend(type.name());
    for (const Thumbnailer &thumbnailer : thumbnailers()) {
        const bool handles = std::any_of(names.cbegin(), names.cend(),
                                         [&](const QString &name) { return thumbnailer.mimeTypes.contains(name); });
        if (!handles)
            continue;
        if (!thumbnailer.tryExec.isEmpty() && QStandardPaths::findExecutable(thumbnailer.tryExec).isEmpty()
            && !QFileInfo(thumbnailer.tryExec).isExecutable())
            continue;
        return thumbnailer;
    }
    return std::nullopt;
}

QImage DesktopThumbnailRenderer::drawWithThumbnailer(const QString &path, const QSize &pixelSize, Run &run)
{
    run = Run::NoPicture;
    const std::optional<Thumbnailer> thumbnailer = thumbnailerFor(path);
    if (!thumbnailer)
        return QImage();
    // A folder the supervisor makes and removes, however it or the program ends: one the program
    // made would stay behind a program killed while the thumbnailer draws.
    const QString folder = QDir(QDir::tempPath()).filePath(
        QStringLiteral("Kestrowan-%1").arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0')));
    const QString output = folder + QStringLiteral("/thumbnail.png");
    const std::optional<QStringList> arguments =
        execArguments(thumbnailer->exec, QFileInfo(path).absoluteFilePath(), output, qMax(pixelSize.width(), pixelSize.height()));
    if (!arguments)
        return QImage();
    QByteArray pixels;
    run = runBounded(*arguments, false, &pixels,
                     {QStringLiteral("--scratch"), folder, output, QString::number(pixelSize.width()), QString::number(pixelSize.height())});
    QImage picture = run == Run::Done ? takenPixels(pixels, pixelSize, run) : QImage();
    m_lastTransient = picture.isNull() && run == Run::Transient;
    return picture;
}
