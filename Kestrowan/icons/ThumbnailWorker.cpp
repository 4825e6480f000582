#include "Kestrowan/icons/ThumbnailWorker.h"

#include "Kestrowan/icons/ThumbnailCache.h"
#include "Platform/BoundedFile.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/ThumbnailRenderer.h"
#include "Platform/codecs/PictureBytes.h"

#include <QBuffer>
#include <QDir>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include "Platform/safewrite/OwnFiles.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QScopeGuard>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);
// A use moves a file's modification time forward at most this often, so reads stay reads.
constexpr qint64 kUseStampSeconds = 24 * 3600;
// The mark every file the cache writes carries; nothing without it is ever removed from the folder.
const QByteArray thumbnailMark = QByteArrayLiteral("thumbnail");

bool isThumbnailFileName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-f]{64}\\.png$"));
    return pattern.match(name).hasMatch();
}

} // namespace

ThumbnailWorker::ThumbnailWorker(const QString &cacheDirectory, std::shared_ptr<ThumbnailRenderer> renderer)
    : m_cacheDirectory(cacheDirectory), m_renderer(std::move(renderer))
{
    m_memoryCache.setMaxCost(int(ThumbnailCache::memoryByteLimit / 1024));
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
            keepInMemory(*key, stored);
            markUsed(QDir(m_cacheDirectory).filePath(fileName));
            return stored;
        }
    }

    if (!m_renderer)
        return QImage();
    const FileStamp stamp = FileStamp::of(path);
    if (!m_failures.mayTry(path, stamp, FailedDocuments::nowMs()))
        return QImage();
    const QImage rendered = m_renderer->render(path, *pixels);
    if (rendered.isNull()) {
        m_failures.failed(path, stamp, m_renderer->lastFailureIsTransient(), FailedDocuments::nowMs());
        return QImage();
    }
    m_failures.succeeded(path);
    const QImage image = normalized(rendered, *pixels);
    keepInMemory(*key, image);
    if (version)
        storeOnDisk(fileName, image);
    return image;
}

void ThumbnailWorker::keepInMemory(const QString &key, const QImage &image)
{
    // Costs in kibibytes, never less than a share of the whole that keeps the count within its
    // limit too.
    constexpr qsizetype leastCost = ThumbnailCache::memoryByteLimit / 1024 / ThumbnailCache::memoryCountLimit;
    m_memoryCache.insert(key, new QImage(image), int(std::max(leastCost, image.sizeInBytes() / 1024)));
}

qsizetype ThumbnailWorker::memoryBytes() const
{
    qsizetype bytes = 0;
    for (const QString &key : m_memoryCache.keys())
        bytes += m_memoryCache.object(key)->sizeInBytes();
    return bytes;
}

void ThumbnailWorker::markUsed(const QString &filePath) const
{
    // The modification time records the last use, which pruning goes by.
    QFile file(filePath);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (QFileInfo(file).lastModified().secsTo(now) > kUseStampSeconds && file.open(QIODevice::ReadWrite))
        file.setFileTime(now, QFileDevice::FileModificationTime);
}

void ThumbnailWorker::pruneDisk(int unusedDays, qint64 byteLimit)
{
    // The folder may be a link to one of the user's (the cache kept on another disk), holding
    // pictures of theirs that happen to be named like the cache's: only files that carry the
    // cache's mark go, each judged through its own descriptor.
    const int folder = ::open(QFile::encodeName(m_cacheDirectory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return;
    const auto closeFolder = qScopeGuard([folder] { ::close(folder); });
    QFileInfoList files;
    const QFileInfoList entries = QDir(m_cacheDirectory).entryInfoList({QStringLiteral("*.png")}, QDir::Files | QDir::Hidden, QDir::Time);
    for (const QFileInfo &info : entries) {
        if (isThumbnailFileName(info.fileName()) && !info.isSymLink())
            files.append(info); // newest first
    }
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addDays(-unusedDays);
    qint64 kept = 0;
    int removed = 0;
    const auto written = [](int descriptor, const struct stat &status) {
        return S_ISREG(status.st_mode) && OwnFiles::isMarked(descriptor, thumbnailMark);
    };
    for (const QFileInfo &info : std::as_const(files)) {
        if (info.lastModified() >= cutoff && kept + info.size() <= byteLimit) {
            kept += info.size();
            continue;
        }
        if (OwnFiles::removeEntryAt(folder, QFile::encodeName(info.fileName()), written) == OwnFiles::Removal::Removed)
            ++removed;
    }
    if (removed > 0)
        qCInfo(persistenceLogger) << "Removed" << removed << "old thumbnail files; kept" << kept << "bytes";
}

QImage ThumbnailWorker::normalized(const QImage &image, const QSize &pixelSize)
{
    const QImage converted = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (converted.size() == pixelSize)
        return converted;
    // Every cell that shows a thumbnail is square and fills it: a wide page or picture is cut at its
    // sides rather than shown between empty bands.
    const QSize covering = converted.size().scaled(pixelSize, Qt::KeepAspectRatioByExpanding).expandedTo(pixelSize);
    const QImage scaled = converted.scaled(covering, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return scaled.copy(QRect(QPoint((covering.width() - pixelSize.width()) / 2, (covering.height() - pixelSize.height()) / 2), pixelSize));
}

QImage ThumbnailWorker::loadFromDisk(const QString &filePath, const QSize &pixelSize) const
{
    // A thumbnail is at most 4096 pixels square; anything far beyond is not one of ours.
    constexpr qint64 limit = qint64(ThumbnailCache::maximumPixelSide) * ThumbnailCache::maximumPixelSide * 4 + 4096;
    if (!QFileInfo::exists(filePath))
        return QImage();
    const std::optional<QByteArray> bytes = readSmallFile(filePath, limit);
    // The cache folder is the user's: a file there is read as one from outside, checked before Qt's
    // reader believes the sizes its chunks name.
    if (!bytes || !bytes->startsWith(kPngSignature) || !PictureBytes::holdWhatTheyClaim(*bytes))
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
    const QString path = QDir(m_cacheDirectory).filePath(fileName);
    if (!SafeWrite::replaceFile(path, png))
        OwnFiles::mark(path, thumbnailMark); // what the pruning later knows it by
}
