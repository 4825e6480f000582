#include "Platform/thumbnailhelper/PageDrawing.h"

#include "Platform/BoundedFile.h"
#include "Platform/codecs/GzipReader.h"
#include "Platform/codecs/PictureBytes.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QUrl>

namespace {

// A letter page in points: the first page of a text document is laid out at this size.
constexpr QSizeF kPage(612, 792);
constexpr qreal kPageMargin = 48;
// A picture or vector image file larger than this is not drawn.
constexpr qint64 kPictureReadLimit = 64 * 1024 * 1024;
// Decoded pictures beyond this many pixels are refused before decoding.
constexpr qint64 kPicturePixelLimit = qint64(16384) * 16384;

// Never reaches for anything a document names (images, style sheets): a thumbnail shows the text
// only, and a name such as /dev/zero must not be read.
class SelfContainedDocument final : public QTextDocument {
protected:
    QVariant loadResource(int, const QUrl &) override { return QVariant(); }
};

// Plain and compressed vector pictures: both are drawn from bytes expanded within a bound, never
// handed to Qt's picture reader, which would expand a compressed one whole to tell its size.
bool isVectorType(const QMimeType &type)
{
    return type.inherits(QStringLiteral("image/svg+xml")) || type.inherits(QStringLiteral("image/svg+xml-compressed"));
}

// The bytes of a picture file, read whole within the bound, when they hold what their headers name
// and are not a vector picture under a bitmap's name; the reader is set on them.
class CheckedPicture {
public:
    explicit CheckedPicture(const QString &path)
    {
        std::optional<QByteArray> bytes = readSmallFile(path, kPictureReadLimit);
        if (!bytes || !PictureBytes::holdWhatTheyClaim(*bytes))
            return;
        m_buffer.setData(std::move(*bytes));
        m_buffer.open(QIODevice::ReadOnly);
        m_reader.setDevice(&m_buffer);
        m_reader.setFormat(QFileInfo(path).suffix().toLatin1());
        m_readable = m_reader.canRead() && !m_reader.format().startsWith("svg");
    }
    bool readable() const { return m_readable; }
    QImageReader &reader() { return m_reader; }

private:
    QBuffer m_buffer;
    QImageReader m_reader;
    bool m_readable = false;
};

QSize fitted(const QSizeF &size, const QSize &bounds)
{
    if (size.isEmpty())
        return QSize();
    return size.scaled(QSizeF(bounds), Qt::KeepAspectRatio).toSize().expandedTo(QSize(1, 1));
}

QImage drawSvg(const QString &path, const QSize &pixelSize)
{
    std::optional<QByteArray> bytes = readSmallFile(path, kPictureReadLimit);
    // A compressed document is expanded within the bound a plain one is read under.
    if (bytes && GzipReader::hasSignature(*bytes))
        bytes = GzipReader::inflated(*bytes, kPictureReadLimit);
    if (!bytes)
        return QImage();
    QSvgRenderer renderer(*bytes);
    if (!renderer.isValid())
        return QImage();
    const QSize size = fitted(renderer.viewBoxF().size(), pixelSize);
    if (size.isEmpty())
        return QImage();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

} // namespace

QImage PageDrawing::readPicture(const QString &path, const QSize &pixelSize)
{
    CheckedPicture picture(path);
    if (!picture.readable())
        return QImage();
    QImageReader &reader = picture.reader();
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > kPicturePixelLimit)
        return QImage();
    if (size.isValid() && (size.width() > pixelSize.width() || size.height() > pixelSize.height()))
        reader.setScaledSize(fitted(QSizeF(size), pixelSize));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > pixelSize.width() || image.height() > pixelSize.height()))
        image = image.scaled(pixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

namespace {

QImage drawTextPage(const QString &path, const QSize &pixelSize, bool rich)
{
    // Read the first part only; a cut in the middle of a character or a tag costs nothing visible.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QImage();
    const QByteArray bytes = file.read(rich ? PageDrawing::markupReadLimit : PageDrawing::textReadLimit);
    SelfContainedDocument document;
    document.setDocumentMargin(kPageMargin);
    document.setPageSize(kPage);
    const QString text = QString::fromUtf8(bytes);
    if (rich)
        document.setHtml(text);
    else
        document.setPlainText(PageDrawing::firstPageOfText(text));

    const QSize size = fitted(kPage, pixelSize);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(size.width() / kPage.width(), size.height() / kPage.height());
    painter.setClipRect(QRectF(QPointF(0, 0), kPage));
    document.drawContents(&painter, QRectF(QPointF(0, 0), kPage));
    return image;
}

} // namespace

namespace PageDrawing {

bool drawsType(const QString &path)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    return isVectorType(type) || type.inherits(QStringLiteral("text/html"))
        || type.inherits(QStringLiteral("text/plain")) || type.name().startsWith(QLatin1String("image/"));
}

bool refusesForSize(const QString &path)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    if (!isVectorType(type) && !type.name().startsWith(QLatin1String("image/")))
        return false;
    const QFileInfo info(path);
    if (info.size() > kPictureReadLimit)
        return true;
    if (isVectorType(type))
        return false;
    CheckedPicture picture(path);
    const QSize size = picture.readable() ? picture.reader().size() : QSize();
    return size.isValid() && qint64(size.width()) * size.height() > kPicturePixelLimit;
}

QImage draw(const QString &path, const QSize &pixelSize)
{
    if (pixelSize.isEmpty())
        return QImage();
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    if (isVectorType(type))
        return drawSvg(path, pixelSize);
    if (type.inherits(QStringLiteral("text/html")))
        return drawTextPage(path, pixelSize, true);
    if (type.inherits(QStringLiteral("text/plain")))
        return drawTextPage(path, pixelSize, false);
    if (type.name().startsWith(QLatin1String("image/")))
        return readPicture(path, pixelSize);
    return QImage();
}

QString firstPageOfText(const QString &text)
{
    QString page;
    int lines = 0;
    qsizetype start = 0;
    while (start <= text.size() && lines < maximumLines) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        if (lines > 0)
            page += QLatin1Char('\n');
        page += QStringView(text).mid(start, qMin<qsizetype>(end - start, maximumLineLength));
        ++lines;
        start = end + 1;
    }
    return page;
}

} // namespace PageDrawing
