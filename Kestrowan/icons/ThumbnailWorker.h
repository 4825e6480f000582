#pragma once

#include "Kestrowan/icons/FailedDocuments.h"

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSizeF>
#include <QString>
#include <QUrl>
#include <memory>

class ThumbnailRenderer;

// The thumbnail cache's state, confined to the cache's thread: the memory cache, the folder of PNG
// files and the renderer. Every call runs on that thread.
class ThumbnailWorker : public QObject {
    Q_OBJECT
public:
    ThumbnailWorker(const QString &cacheDirectory, std::shared_ptr<ThumbnailRenderer> renderer);

    QImage thumbnail(const QUrl &url, const QSizeF &logicalSize, qreal scale);

    // Removes the thumbnail files not used for `unusedDays` days, then the least recently used ones
    // until the folder holds at most `byteLimit` bytes of them. Files of other names stay.
    void pruneDisk(int unusedDays, qint64 byteLimit);

    // The bytes of the pictures the memory cache holds.
    qsizetype memoryBytes() const;

    // Any picture as kept: exactly `pixelSize`, the picture scaled to cover it (aspect ratio kept)
    // and centred, what overflows cut off.
    static QImage normalized(const QImage &image, const QSize &pixelSize);

private:
    void keepInMemory(const QString &key, const QImage &image);
    QImage loadFromDisk(const QString &filePath, const QSize &pixelSize) const;
    void storeOnDisk(const QString &fileName, const QImage &image) const;
    void markUsed(const QString &filePath) const;

    QString m_cacheDirectory;
    std::shared_ptr<ThumbnailRenderer> m_renderer;
    QCache<QString, QImage> m_memoryCache;
    // A document that gave no thumbnail is not handed to a decoder again until it changes.
    FailedDocuments m_failures;
};
