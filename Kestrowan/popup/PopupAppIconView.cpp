#include "Kestrowan/popup/PopupAppIconView.h"

#include <QCache>
#include <QDateTime>
#include <QFileInfo>
#include <QIcon>

namespace {

constexpr int cachedIcons = 400;

QCache<QString, QImage> &iconCache()
{
    static QCache<QString, QImage> cache(cachedIcons);
    return cache;
}

} // namespace

PopupAppIconView::PopupAppIconView(const AppItem &app, QWidget *parent)
    : PictureView(parent)
    , m_app(app)
{
}

void PopupAppIconView::setApp(const AppItem &app)
{
    if (app.path == m_app.path) {
        m_app = app;
        return;
    }
    m_app = app;
    pictureChanged();
}

QImage PopupAppIconView::picture()
{
    // At the size the frame has on this screen, so drawing it needs no scaling.
    const int pixels = qMax(1, qRound(qMax(width(), height()) * devicePixelRatioF()));
    const qint64 modified = QFileInfo(m_app.path).lastModified().toMSecsSinceEpoch();
    const QString key = m_app.path + u'|' + QString::number(pixels) + u'|' + QString::number(modified);
    if (const QImage *cached = iconCache().object(key))
        return *cached;
    const QImage icon = m_app.itemIcon().pixmap(QSize(pixels, pixels)).toImage();
    iconCache().insert(key, new QImage(icon));
    return icon;
}
