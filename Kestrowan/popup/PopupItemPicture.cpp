#include "Kestrowan/popup/PopupItemPicture.h"

#include "Kestrowan/icons/ItemPreview.h"

#include <QIcon>

QImage popupItemPicture(const AppItem &item, int pixels)
{
    if (item.itemKind() == AppItem::Kind::App) {
        const QIcon icon = item.itemIcon();
        if (!icon.isNull())
            return icon.pixmap(QSize(pixels, pixels)).toImage();
    }
    return itemThumbnail(item);
}
