#include "Kestrowan/popup/IconAccentColor.h"

#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QPainter>
#include <QPalette>

namespace {

struct AccentCache {
    QMutex mutex;
    QHash<QString, QColor> colors;
};

AccentCache &accentCache()
{
    static AccentCache cache;
    return cache;
}

std::optional<QColor> cachedColor(const QString &key)
{
    AccentCache &cache = accentCache();
    const QMutexLocker lock(&cache.mutex);
    const auto found = cache.colors.constFind(key);
    if (found == cache.colors.cend())
        return std::nullopt;
    return *found;
}

QColor remembered(const QString &key, const std::optional<QColor> &color)
{
    if (!color)
        return systemAccentColor();
    AccentCache &cache = accentCache();
    const QMutexLocker lock(&cache.mutex);
    cache.colors.insert(key, *color);
    return *color;
}

// The icon's largest picture: what it would draw at its best.
QImage bestRepresentation(const QIcon &icon)
{
    if (icon.isNull())
        return {};
    QSize best;
    for (const QSize &size : icon.availableSizes()) {
        if (size.width() * size.height() > best.width() * best.height())
            best = size;
    }
    if (!best.isValid())
        best = QSize(128, 128);
    return icon.pixmap(best).toImage();
}

} // namespace

QColor systemAccentColor()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
}

std::optional<QColor> meanOpaqueColor(const QImage &image)
{
    if (image.isNull())
        return std::nullopt;
    QImage small(8, 8, QImage::Format_RGBA8888_Premultiplied);
    small.fill(Qt::transparent);
    {
        QPainter painter(&small);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, 8, 8), image);
    }
    quint64 red = 0, green = 0, blue = 0, count = 0;
    for (int y = 0; y < 8; ++y) {
        const uchar *row = small.constScanLine(y);
        for (int x = 0; x < 8; ++x) {
            const uchar *pixel = row + x * 4;
            if (pixel[3] <= 128)
                continue;
            // Premultiplied, as stored: soft edges pull the mean a little darker.
            red += pixel[0];
            green += pixel[1];
            blue += pixel[2];
            ++count;
        }
    }
    if (count == 0)
        return std::nullopt;
    return QColor::fromRgbF(float(red) / count / 255.0f, float(green) / count / 255.0f,
                            float(blue) / count / 255.0f, 1.0f);
}

QColor iconAccentColor(const QImage &image, const QString &key)
{
    if (const std::optional<QColor> hit = cachedColor(key))
        return *hit;
    return remembered(key, meanOpaqueColor(image));
}

QColor iconAccentColor(const QIcon &icon, const QString &key)
{
    if (const std::optional<QColor> hit = cachedColor(key))
        return *hit;
    return remembered(key, meanOpaqueColor(bestRepresentation(icon)));
}
