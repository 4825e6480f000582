#include "Kestrowan/popup/PopupItemPicture.h"

#include "Kestrowan/icons/ItemPreview.h"

#include <QCache>
#include <QDateTime>
#include <QFileInfo>
#include <QIcon>

namespace {

constexpr int cachedPictures = 400;

QCache<QString, QImage> &pictureCache()
{
    static QCache<QString, QImage> cache(cachedPictures);
    return cache;
}

QImage drawPicture(const AppItem &item, int pixels)
{
    if (item.itemKind() == AppItem::Kind::App) {
        const QIcon icon = item.itemIcon();
        if (!icon.isNull())
            return icon.pixmap(QSize(pixels, pixels)).toImage();
    }
    return itemThumbnail(item);
}

} // namespace

QImage popupItemPicture(const AppItem &item, int pixels)
{
    const QUrl url = item.itemURL();
    const qint64 modified = url.isLocalFile() ? QFileInfo(item.path).lastModified().toMSecsSinceEpoch() : 0;
    const QString key = item.path + u'|' + QString::number(pixels) + u'|' + QString::number(modified);
    if (const QImage *cached = pictureCache().object(key))
        return *cached;
    const QImage picture = drawPicture(item, pixels);
    pictureCache().insert(key, new QImage(picture));
    return picture;
}
