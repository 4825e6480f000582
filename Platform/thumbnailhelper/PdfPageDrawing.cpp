#include "Platform/thumbnailhelper/PdfPageDrawing.h"

#include "Platform/BoundedFile.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfDocument>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal kLongSide = 256;
constexpr qint64 kMaximumFileBytes = 256 * 1024 * 1024;

} // namespace

std::optional<QImage> PdfPageDrawing::firstPage(const QString &path)
{
    // Regular files only, read first: a fifo named like a document would block the reader.
    std::optional<QByteArray> bytes = readSmallFile(path, kMaximumFileBytes);
    if (!bytes)
        return std::nullopt;
    QBuffer buffer(&*bytes);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.load(&buffer);
    if (document.status() != QPdfDocument::Status::Ready || document.pageCount() < 1)
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
