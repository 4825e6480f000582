#pragma once

#include "Platform/ThumbnailRenderer.h"

#include <QColor>
#include <QMutex>
#include <QSet>
#include <QStringList>

// Draws a flat picture for every path it is asked about (except those in `refused`) and records
// each request, so tests can tell a render from a cache hit. Safe to read from the test's thread.
class CountingThumbnailRenderer final : public ThumbnailRenderer {
public:
    QColor color = QColor(40, 120, 220);
    // Draw bigger than asked, to check the cache never keeps an oversized picture.
    QSize oversize;

    QImage render(const QString &path, const QSize &pixelSize) override
    {
        QMutexLocker locker(&m_lock);
        m_requests.append(path);
        if (m_refused.contains(path))
            return QImage();
        QImage image(oversize.isValid() ? oversize : pixelSize, QImage::Format_ARGB32_Premultiplied);
        image.fill(color);
        return image;
    }

    // Gives nothing for `path`; `transient` says a later request may give a picture.
    void refuse(const QString &path, bool transient = false)
    {
        QMutexLocker locker(&m_lock);
        m_refused.insert(path);
        m_transient = transient;
    }
    bool lastFailureIsTransient() const override
    {
        QMutexLocker locker(&m_lock);
        return m_transient;
    }
    QStringList requests() const
    {
        QMutexLocker locker(&m_lock);
        return m_requests;
    }
    int count() const { return int(requests().size()); }

private:
    mutable QMutex m_lock;
    QStringList m_requests;
    QSet<QString> m_refused;
    bool m_transient = false;
};
