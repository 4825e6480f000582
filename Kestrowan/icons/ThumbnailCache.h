#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSizeF>
#include <QString>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class ThumbnailRenderer;
class ThumbnailWorker;

// System thumbnails of the document kinds the program's own previews do not draw (web pages,
// presentations, spreadsheets, text documents, design files, icons, vector images). Each one is
// rendered once, kept in memory (up to 256) and, when the file has a version token, as a PNG file
// under the caches folder, so it is not rendered again after a restart. All the work (disk, PNG,
// rendering) runs on the cache's own thread, one request at a time; answers come back on the
// thread of the object the caller names (the main thread for views). The folder is pruned on that
// thread when the cache is made.
class ThumbnailCache : public QObject {
    Q_OBJECT
public:
    using Completion = std::function<void(const QImage &)>;

    static constexpr int memoryCountLimit = 256;
    // The memory cache holds at most this many bytes of pictures as well: 256 thumbnails at a high
    // scale would be 64 MiB.
    static constexpr qsizetype memoryByteLimit = qsizetype(24) * 1024 * 1024;
    // Thumbnails larger than this many pixels on a side are never made.
    static constexpr int maximumPixelSide = 4096;
    // At each start the folder of PNG files loses what was not used for this long, then the least
    // recently used files beyond this many bytes: each edit of a document leaves a file behind.
    static constexpr int diskUnusedDays = 30;
    static constexpr qint64 diskByteLimit = qint64(128) * 1024 * 1024;

    // The one cache every view uses, created on first use on the application's thread. The
    // application object owns it and closes it when it quits.
    static ThumbnailCache &shared();
    // Replaces the shared cache (tests); it goes to the application object. nullptr ends the
    // current one, and the next use makes the default one.
    static void setShared(std::unique_ptr<ThumbnailCache> cache);

    // `directory`: where the PNG files go; by default "Kestrowan/Thumbnails" in the caches folder.
    // `renderer`: by default this machine's.
    explicit ThumbnailCache(const std::optional<QString> &directory = std::nullopt,
                            std::shared_ptr<ThumbnailRenderer> renderer = nullptr, QObject *parent = nullptr);
    ~ThumbnailCache() override;

    QString cacheDirectory() const { return m_cacheDirectory; }

    // Ends the render under way and joins the cache's thread; later requests are never answered.
    void close();

    // The lower-case extensions the cache handles.
    static const QSet<QString> &quickLookExtensions();
    // A file URL whose lower-cased extension is one of them.
    static bool handles(const QUrl &url);
    // The same answer for an item's URL, without making the URL for an item at an absolute path:
    // a popup of thousands of items asks for every one of them on each show.
    static bool handles(const AppItem &item);
    // "v1|<standardised path>|<version or volatile>|<W>x<H>|<scale, two decimals>"; nothing for a
    // size that is not finite or does not fit a 64-bit integer.
    static std::optional<QString> thumbnailCacheKey(const QUrl &url, const std::optional<QString> &version,
                                                    const QSizeF &logicalSize, qreal scale);
    // The pixels a thumbnail of the rounded logical size has at `scale`; nothing when that is not a
    // sane picture size.
    static std::optional<QSize> pixelSize(const QSizeF &logicalSize, qreal scale);
    // The SHA-256 of the key as 64 lower-case hex digits, and ".png".
    static QString thumbnailDiskFileName(const QString &key);
    // Stable while the file is unchanged, different once its contents change; nothing when the file
    // gives no usable stamp (it is then cached in memory only).
    static std::optional<QString> fileVersionToken(const QString &path);

    // The thumbnail of the file at `url` at `logicalSize` points and `scale` pixels per point;
    // `completion` gets it, or a null image when there is none, on `context`'s thread — never when
    // `context` is gone by then. Without a context it runs on the cache's thread of birth.
    void thumbnail(const QUrl &url, const QSizeF &logicalSize, qreal scale, QObject *context, Completion completion);
    // Fills both caches for the items the cache handles, one after the other in item order; `done`
    // runs when all are through.
    void prefetch(const QList<AppItem> &items, const QSizeF &logicalSize, qreal scale, QObject *context = nullptr,
                  std::function<void()> done = {});

private:
    struct Recipient {
        QPointer<QObject> guard;
        bool hasContext = false;
    };
    static Recipient recipient(QObject *context);
    void deliver(const Recipient &recipient, std::function<void()> work);
    // Runs `job` on the worker's thread, unless the cache has closed by then; what it answers goes
    // to `context`'s recipient.
    void enqueue(QObject *context, std::function<void(ThumbnailWorker &, const Recipient &)> job);

    QString m_cacheDirectory;
    std::shared_ptr<ThumbnailRenderer> m_renderer;
    QThread m_thread;
    ThumbnailWorker *m_worker;
    std::atomic<bool> m_closed{false};
};
