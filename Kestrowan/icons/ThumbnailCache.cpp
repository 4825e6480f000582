#include "Kestrowan/icons/ThumbnailCache.h"

#include "Kestrowan/icons/ThumbnailWorker.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/ThumbnailRenderer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>
#include <QPointer>
#include <cmath>
#include <sys/stat.h>

namespace {

// The application's cache; the application object owns it (as a child), so this only points at it.
QPointer<ThumbnailCache> &sharedCache()
{
    static QPointer<ThumbnailCache> cache;
    return cache;
}

// Rounded half away from zero; nothing when not finite or beyond a 64-bit integer.
std::optional<qint64> roundedSide(qreal value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const qreal rounded = std::round(value);
    if (rounded < -9.2e18 || rounded > 9.2e18)
        return std::nullopt;
    return qint64(rounded);
}

} // namespace

ThumbnailCache &ThumbnailCache::shared()
{
    if (!sharedCache())
        setShared(std::make_unique<ThumbnailCache>());
    return *sharedCache();
}

void ThumbnailCache::setShared(std::unique_ptr<ThumbnailCache> cache)
{
    delete sharedCache().data();
    sharedCache() = cache.get();
    QCoreApplication *application = QCoreApplication::instance();
    if (!cache || !application)
        return;
    ThumbnailCache *owned = cache.release();
    owned->setParent(application);
    // Its thread is joined while the application is whole: quitting in the middle of a render (or
    // of a type lookup) never leaves the thread running into the exit handlers.
    connect(application, &QCoreApplication::aboutToQuit, owned, &ThumbnailCache::close);
}

ThumbnailCache::ThumbnailCache(const std::optional<QString> &directory, std::shared_ptr<ThumbnailRenderer> renderer, QObject *parent)
    : QObject(parent),
      m_cacheDirectory(directory ? *directory : cachesDirectoryURL() + QStringLiteral("/Kestrowan/Thumbnails"))
{
    if (!renderer)
        renderer = ThumbnailRenderer::createDefault();
    m_renderer = renderer;
    m_worker = new ThumbnailWorker(m_cacheDirectory, std::move(renderer));
    m_thread.setObjectName(QStringLiteral("ThumbnailCache"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    ThumbnailWorker *worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker] { worker->pruneDisk(diskUnusedDays, diskByteLimit); }, Qt::QueuedConnection);
}

ThumbnailCache::~ThumbnailCache()
{
    close();
}

void ThumbnailCache::close()
{
    if (m_closed.exchange(true))
        return;
    // A document being drawn is abandoned, and what is still queued gives nothing at once: quitting
    // never waits on a render.
    if (m_renderer)
        m_renderer->cancel();
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
    m_worker = nullptr;
}

const QSet<QString> &ThumbnailCache::quickLookExtensions()
{
    static const QSet<QString> extensions{
        QStringLiteral("htm"),  QStringLiteral("html"),  QStringLiteral("ico"),  QStringLiteral("key"),   QStringLiteral("odp"),
        QStringLiteral("ods"),  QStringLiteral("odt"),   QStringLiteral("pages"), QStringLiteral("ppt"),  QStringLiteral("pptx"),
        QStringLiteral("psd"),  QStringLiteral("sketch"), QStringLiteral("svg")};
    return extensions;
}

bool ThumbnailCache::handles(const QUrl &url)
{
    return url.isLocalFile() && quickLookExtensions().contains(QFileInfo(url.toLocalFile()).suffix().toLower());
}

bool ThumbnailCache::handles(const AppItem &item)
{
    // An absolute path is always a local file, the one the item's URL names.
    if (!item.path.startsWith(u'/'))
        return handles(item.itemURL());
    return quickLookExtensions().contains(QFileInfo(item.path).suffix().toLower());
}

std::optional<QString> ThumbnailCache::thumbnailCacheKey(const QUrl &url, const std::optional<QString> &version,
                                                         const QSizeF &logicalSize, qreal scale)
{
    const std::optional<qint64> width = roundedSide(logicalSize.width());
    const std::optional<qint64> height = roundedSide(logicalSize.height());
    if (!width || !height || !std::isfinite(scale))
        return std::nullopt;
    const QString path = QDir::cleanPath(QFileInfo(url.toLocalFile()).absoluteFilePath());
    return QStringList{QStringLiteral("v1"), path, version.value_or(QStringLiteral("volatile")),
                       QString::number(*width) + QLatin1Char('x') + QString::number(*height),
                       QString::asprintf("%.2f", double(scale))}
        .join(QLatin1Char('|'));
}

std::optional<QSize> ThumbnailCache::pixelSize(const QSizeF &logicalSize, qreal scale)
{
    const std::optional<qint64> width = roundedSide(logicalSize.width());
    const std::optional<qint64> height = roundedSide(logicalSize.height());
    if (!width || !height || !std::isfinite(scale) || scale <= 0)
        return std::nullopt;
    const qreal pixelWidth = std::round(qreal(*width) * scale);
    const qreal pixelHeight = std::round(qreal(*height) * scale);
    if (pixelWidth < 1 || pixelHeight < 1 || pixelWidth > maximumPixelSide || pixelHeight > maximumPixelSide)
        return std::nullopt;
    return QSize(int(pixelWidth), int(pixelHeight));
}

QString ThumbnailCache::thumbnailDiskFileName(const QString &key)
{
    return QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex()) + QStringLiteral(".png");
}

std::optional<QString> ThumbnailCache::fileVersionToken(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    // A file system that keeps no modification time gives no stamp worth trusting.
    if (info.st_mtim.tv_sec == 0 && info.st_mtim.tv_nsec == 0)
        return std::nullopt;
    // The change time moves with every write, even one that puts the modification time back.
    return QStringLiteral("%1-%2-%3.%4-%5.%6")
        .arg(quint64(info.st_ino))
        .arg(qint64(info.st_size))
        .arg(qint64(info.st_mtim.tv_sec))
        .arg(qint64(info.st_mtim.tv_nsec))
        .arg(qint64(info.st_ctim.tv_sec))
        .arg(qint64(info.st_ctim.tv_nsec));
}

ThumbnailCache::Recipient ThumbnailCache::recipient(QObject *context)
{
    return Recipient{QPointer<QObject>(context), context != nullptr};
}

void ThumbnailCache::deliver(const Recipient &recipient, std::function<void()> work)
{
    // Answers go through this object, on its own thread, so a context that is gone is seen on the
    // thread that owns it and is never touched from the worker.
    QMetaObject::invokeMethod(
        this,
        [recipient, work = std::move(work)] {
            if (recipient.hasContext && !recipient.guard)
                return;
            work();
        },
        Qt::QueuedConnection);
}

void ThumbnailCache::enqueue(QObject *context, std::function<void(ThumbnailWorker &, const Recipient &)> job)
{
    if (m_closed)
        return;
    const Recipient to = recipient(context);
    ThumbnailWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [this, worker, to, job = std::move(job)] {
            if (!m_closed)
                job(*worker, to);
        },
        Qt::QueuedConnection);
}

void ThumbnailCache::thumbnail(const QUrl &url, const QSizeF &logicalSize, qreal scale, QObject *context, Completion completion)
{
    enqueue(context, [this, url, logicalSize, scale, completion = std::move(completion)](ThumbnailWorker &worker, const Recipient &to) {
        const QImage image = worker.thumbnail(url, logicalSize, scale);
        if (completion)
            deliver(to, [completion, image] { completion(image); });
    });
}

void ThumbnailCache::prefetch(const QList<AppItem> &items, const QSizeF &logicalSize, qreal scale, QObject *context,
                              std::function<void()> done)
{
    QList<QUrl> urls;
    for (const AppItem &item : items) {
        if (handles(item))
            urls.append(item.itemURL());
    }
    enqueue(context, [this, urls, logicalSize, scale, done = std::move(done)](ThumbnailWorker &worker, const Recipient &to) {
        for (const QUrl &url : urls) {
            if (m_closed)
                return;
            worker.thumbnail(url, logicalSize, scale);
        }
        if (done)
            deliver(to, done);
    });
}
