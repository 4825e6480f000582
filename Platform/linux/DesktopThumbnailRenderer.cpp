#include "Platform/linux/DesktopThumbnailRenderer.h"

#include "Platform/BoundedFile.h"
#include "Platform/linux/DesktopEntry.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QUrl>

namespace {

const QString kThumbnailerGroup = QStringLiteral("Thumbnailer Entry");
constexpr qint64 kTextLimit = 2 * 1024 * 1024;
// A letter page in points: the first page of a text document is laid out at this size.
constexpr QSizeF kPage(612, 792);
constexpr qreal kPageMargin = 48;

// Never reaches for anything a document names (images, style sheets): a thumbnail shows the text
// only, and a name such as /dev/zero must not be read.
class SelfContainedDocument final : public QTextDocument {
protected:
    QVariant loadResource(int, const QUrl &) override { return QVariant(); }
};

QSize fitted(const QSizeF &size, const QSize &bounds)
{
    if (size.isEmpty())
        return QSize();
    return size.scaled(QSizeF(bounds), Qt::KeepAspectRatio).toSize().expandedTo(QSize(1, 1));
}

QImage renderSvg(const QString &path, const QSize &pixelSize)
{
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return QImage();
    const QSize size = fitted(renderer.viewBoxF().size(), pixelSize);
    if (size.isEmpty())
        return QImage();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

QImage renderPicture(const QString &path, const QSize &pixelSize)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return QImage();
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > pixelSize.width() || size.height() > pixelSize.height()))
        reader.setScaledSize(fitted(QSizeF(size), pixelSize));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > pixelSize.width() || image.height() > pixelSize.height()))
        image = image.scaled(pixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage renderTextPage(const QString &path, const QSize &pixelSize, bool rich)
{
    const std::optional<QByteArray> bytes = readSmallFile(path, kTextLimit);
    if (!bytes)
        return QImage();
    SelfContainedDocument document;
    document.setDocumentMargin(kPageMargin);
    document.setPageSize(kPage);
    const QString text = QString::fromUtf8(*bytes);
    if (rich)
        document.setHtml(text);
    else
        document.setPlainText(text);

    const QSize size = fitted(kPage, pixelSize);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(size.width() / kPage.width(), size.height() / kPage.height());
    painter.setClipRect(QRectF(QPointF(0, 0), kPage));
    document.drawContents(&painter, QRectF(QPointF(0, 0), kPage));
    return image;
}

} // namespace

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
    if (pixelSize.isEmpty() || !QFileInfo(path).isFile())
        return QImage();
    const QImage drawn = renderWithQt(path, pixelSize);
    if (!drawn.isNull())
        return drawn;
    return renderWithThumbnailer(path, pixelSize);
}

QImage DesktopThumbnailRenderer::renderWithQt(const QString &path, const QSize &pixelSize)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    if (type.inherits(QStringLiteral("image/svg+xml")))
        return renderSvg(path, pixelSize);
    if (type.inherits(QStringLiteral("text/html")))
        return renderTextPage(path, pixelSize, true);
    if (type.inherits(QStringLiteral("text/plain")))
        return renderTextPage(path, pixelSize, false);
    if (type.name().startsWith(QLatin1String("image/")))
        return renderPicture(path, pixelSize);
    return QImage();
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

    QProcess process;
    process.setProgram(arguments->first());
    process.setArguments(arguments->mid(1));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(m_timeoutMs))
        return QImage();
    if (!process.waitForFinished(m_timeoutMs)) {
        // Hung: end it and give nothing.
        process.kill();
        process.waitForFinished(m_timeoutMs);
        return QImage();
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QImage();
    return renderPicture(output, pixelSize);
}
