#include "Platform/linux/DesktopThumbnailRenderer.h"

#include "Platform/linux/DesktopEntry.h"

#include "Platform/thumbnailhelper/PageDrawing.h"
#include "Platform/thumbnailhelper/PixelTransfer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

const QString kThumbnailerGroup = QStringLiteral("Thumbnailer Entry");
const QString kHelperName = QStringLiteral("kestrowan-thumbnail-helper");

} // namespace

QString DesktopThumbnailRenderer::helperProgram()
{
    const QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/') + kHelperName;
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStringLiteral(KESTROWAN_THUMBNAIL_HELPER);
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
    if (m_cancelled || pixelSize.isEmpty() || !QFileInfo(path).isFile())
        return QImage();
    const QImage drawn = renderWithQt(path, pixelSize);
    if (!drawn.isNull())
        return drawn;
    return renderWithThumbnailer(path, pixelSize);
}

void DesktopThumbnailRenderer::cancel()
{
    m_cancelled = true;
    if (const qint64 group = m_runningGroup.load(); group > 0)
        ::kill(-pid_t(group), SIGKILL);
}

QImage DesktopThumbnailRenderer::renderWithQt(const QString &path, const QSize &pixelSize)
{
    if (!PageDrawing::drawsType(path))
        return QImage();
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return QImage();
    const QString output = scratch.filePath(QStringLiteral("thumbnail.png"));
    if (!runBounded({helperProgram(), QFileInfo(path).absoluteFilePath(), output, QString::number(pixelSize.width()),
                     QString::number(pixelSize.height())}))
        return QImage();
    return readThumbnail(output, pixelSize);
}

QImage DesktopThumbnailRenderer::readThumbnail(const QString &file, const QSize &pixelSize)
{
    // The picture a child wrote is read by the helper too: a thumbnailer can be made to write a
    // picture no program should decode, and the program takes pixels only.
    QByteArray pixels;
    if (!runBounded({helperProgram(), QStringLiteral("--fit"), file, QString::number(pixelSize.width()),
                     QString::number(pixelSize.height())},
                    &pixels))
        return QImage();
    const QImage picture = PixelTransfer::decode(pixels);
    if (picture.width() > pixelSize.width() || picture.height() > pixelSize.height())
        return QImage();
    return picture;
}

bool DesktopThumbnailRenderer::runBounded(const QStringList &arguments, QByteArray *output)
{
    if (m_cancelled)
        return false;
    QProcess process;
    process.setProgram(arguments.first());
    process.setArguments(arguments.mid(1));
    process.setStandardInputFile(QProcess::nullDevice());
    if (!output)
        process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // A group of its own, so that what the child starts in turn ends with it.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start();
    if (!process.waitForStarted(m_timeoutMs))
        return false;
    const qint64 group = process.processId();
    // The group exists once the child has run its modifier, which is before it was reported started.
    m_runningGroup = group;
    auto endGroup = [group] { ::kill(-pid_t(group), SIGKILL); };
    if (m_cancelled)
        endGroup();
    bool finished = false;
    bool oversized = false;
    if (output) {
        // Read as it comes (a pipe holds little), never beyond the largest picture.
        QDeadlineTimer deadline(m_timeoutMs);
        while (!finished && !deadline.hasExpired()) {
            finished = process.waitForFinished(int(std::min<qint64>(deadline.remainingTime(), 50)))
                || process.state() == QProcess::NotRunning;
            *output += process.readAllStandardOutput();
            if (output->size() > PixelTransfer::maximumBytes) {
                oversized = true;
                break;
            }
        }
        if (oversized)
            finished = false;
    } else {
        finished = process.waitForFinished(m_timeoutMs);
    }
    if (!finished) {
        // Hung: end it and all it started, and give nothing.
        endGroup();
        process.waitForFinished(-1);
    } else if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        endGroup(); // a crashed child may leave children of its own behind
    }
    m_runningGroup = 0;
    return finished && !m_cancelled && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
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

QImage DesktopThumbnailRenderer::renderWithThumbnailer(const QString &path, const QSize &pixelSize)
{
    const std::optional<Thumbnailer> thumbnailer = thumbnailerFor(path);
    if (!thumbnailer)
        return QImage();
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return QImage();
    const QString output = scratch.filePath(QStringLiteral("thumbnail.png"));
    const std::optional<QStringList> arguments =
        execArguments(thumbnailer->exec, QFileInfo(path).absoluteFilePath(), output, qMax(pixelSize.width(), pixelSize.height()));
    if (!arguments)
        return QImage();

    if (!runBounded(*arguments))
        return QImage();
    return readThumbnail(output, pixelSize);
}
