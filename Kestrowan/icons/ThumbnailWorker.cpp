#include "Kestrowan/icons/ThumbnailWorker.h"

#include "Kestrowan/icons/ThumbnailCache.h"
#include "Platform/BoundedFile.h"
#include "Platform/ThumbnailRenderer.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include "Platform/safewrite/SafeWrite.h"

namespace {

const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);

} // namespace

ThumbnailWorker::ThumbnailWorker(const QString &cacheDirectory, std::shared_ptr<ThumbnailRenderer> renderer)
    : m_cacheDirectory(cacheDirectory), m_renderer(std::move(renderer))
{
    m_memoryCache.setMaxCost(ThumbnailCache::memoryCountLimit);
}

QImage ThumbnailWorker::thumbnail(const QUrl &url, const QSizeF &logicalSize, qreal scale)
{
    if (!ThumbnailCache::handles(url))
        return QImage();
    const QString path = url.toLocalFile();
    const std::optional<QString> version = ThumbnailCache::fileVersionToken(path);
    const std::optional<QString> key = ThumbnailCache::thumbnailCacheKey(url, version, logicalSize, scale);
    const std::optional<QSize> pixels = ThumbnailCache::pixelSize(logicalSize, scale);
    if (!key || !pixels)
        return QImage();

    if (const QImage *cached = m_memoryCache.object(*key))
        return *cached;

    const QString fileName = ThumbnailCache::thumbnailDiskFileName(*key);
    if (version) {
        const QImage stored = loadFromDisk(QDir(m_cacheDirectory).filePath(fileName), *pixels);
        if (!stored.isNull()) {
            m_memoryCache.insert(*key, new QImage(stored), 1);
            return stored;
        }
    }

    const QImage rendered = m_renderer ? m_renderer->render(path, *pixels) : QImage();
    if (rendered.isNull())
        return QImage(); // nothing kept: the next request asks the renderer again
    const QImage image = normalized(rendered, *pixels);
    m_memoryCache.insert(*key, new QImage(image), 1);
    if (version)
        storeOnDisk(fileName, image);
    return image;
}

QImage ThumbnailWorker::normalized(const QImage &image, const QSize &pixelSize)
{
    const QImage converted = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (converted.size() == pixelSize)
        return converted;
    QImage canvas(pixelSize, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    const QSize fitted = converted.size().scaled(pixelSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QImage scaled = converted.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(QPoint((pixelSize.width() - fitted.width()) / 2, (pixelSize.height() - fitted.height()) / 2), scaled);
    return canvas;
}

QImage ThumbnailWorker::loadFromDisk(const QString &filePath, const QSize &pixelSize) const
{
    // A thumbnail is at most 4096 pixels square; anything far beyond is not one of ours.
    constexpr qint64 limit = qint64(ThumbnailCache::maximumPixelSide) * ThumbnailCache::maximumPixelSide * 4 + 4096;
    if (!QFileInfo::exists(filePath))
        return QImage();
    const std::optional<QByteArray> bytes = readSmallFile(filePath, limit);
    if (!bytes || !bytes->startsWith(kPngSignature))
        return QImage();
    QImage image;
    if (!image.loadFromData(*bytes, "PNG") || image.size() != pixelSize)
        return QImage(); // a miss: rendered again and rewritten
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void ThumbnailWorker::storeOnDisk(const QString &fileName, const QImage &image) const
{
    if (!QDir().mkpath(m_cacheDirectory))
        return;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return;
    // A cache file that cannot be written whole is left as it was: a miss renders it again.
    SafeWrite::replaceFile(QDir(m_cacheDirectory).filePath(fileName), png);
}
