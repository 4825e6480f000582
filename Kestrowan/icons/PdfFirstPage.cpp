#include "Kestrowan/icons/PreviewSources.h"

#include <QFileInfo>
#include <QPainter>
#include <QPdfDocument>
#include <cmath>

namespace {

constexpr qreal kLongSide = 256;

} // namespace

std::optional<QImage> renderPDFFirstPage(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QPdfDocument document;
    if (document.load(path) != QPdfDocument::Error::None || document.pageCount() < 1)
        return std::nullopt;
    const QSizeF box = document.pagePointSize(0);
    // A page without area (or with a nonsensical one) has nothing to show and no scale to draw it at.
    if (!std::isfinite(box.width()) || !std::isfinite(box.height()) || box.width() <= 0 || box.height() <= 0)
        return std::nullopt;
    const qreal k = kLongSide / std::max(box.width(), box.height());
    const QSize pixels(std::max(1, int(std::lround(box.width() * k))), std::max(1, int(std::lround(box.height() * k))));
    const QImage page = document.render(0, pixels);
    if (page.isNull())
        return std::nullopt;
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.drawImage(QRect(QPoint(0, 0), pixels), page);
    }
    return image;
}
