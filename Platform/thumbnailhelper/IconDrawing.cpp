#include "Platform/thumbnailhelper/IconDrawing.h"

#include "Platform/BoundedFile.h"
#include "Platform/codecs/GzipReader.h"
#include "Platform/codecs/PictureBytes.h"
#include "Platform/codecs/PngReader.h"
#include "Platform/codecs/ScaledPngReader.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>

namespace {

void refuse(QString *refusal, const QString &reason)
{
    if (refusal)
        *refusal = reason;
}

bool looksLikeSvg(const QByteArray &bytes)
{
    // Compressed vector pictures start with gzip's magic; plain ones hold an <svg element early on.
    if (bytes.startsWith("\x1f\x8b"))
        return true;
    return bytes.left(4096).contains("<svg");
}

QSize targetSize(const QSizeF &natural, int side, IconDrawing::Fit fit, bool scalable)
{
    if (natural.isEmpty())
        return QSize();
    if (fit == IconDrawing::Fit::Stretch)
        return QSize(std::min(qRound(natural.width()), side), std::min(qRound(natural.height()), side)).expandedTo(QSize(1, 1));
    QSizeF size = natural;
    // A scalable picture is drawn to fill the square; a bitmap is only ever made smaller.
    if (scalable || size.width() > side || size.height() > side)
        size = size.scaled(QSizeF(side, side), Qt::KeepAspectRatio);
    return size.toSize().expandedTo(QSize(1, 1));
}

QList<QImage> drawSvg(const QByteArray &bytes, const QList<int> &sides, IconDrawing::Fit fit, QString *refusal)
{
    // A compressed picture is expanded here, within the bound a plain one is read under: Qt's
    // reader would expand it whole first, however far that goes.
    std::optional<QByteArray> expanded;
    if (GzipReader::hasSignature(bytes)) {
        expanded = GzipReader::inflated(bytes, IconDrawing::fileSizeLimit);
        if (!expanded) {
            refuse(refusal, QStringLiteral("a compressed vector picture that is broken or expands past %1 MB")
                                .arg(IconDrawing::fileSizeLimit >> 20));
            return {};
        }
    }
    QSvgRenderer renderer(expanded ? *expanded : bytes);
    if (!renderer.isValid()) {
        refuse(refusal, QStringLiteral("not a vector picture Qt reads"));
        return {};
    }
    // A layer keeps the size the picture names for itself; an icon is drawn by its view box.
    QSizeF natural = fit == IconDrawing::Fit::Stretch ? QSizeF(renderer.defaultSize()) : renderer.viewBoxF().size();
    if (natural.isEmpty())
        natural = fit == IconDrawing::Fit::Stretch ? renderer.viewBoxF().size() : QSizeF(renderer.defaultSize());
    QList<QImage> pictures;
    for (const int side : sides) {
        const QSize size = targetSize(natural, side, fit, true);
        if (size.isEmpty()) {
            refuse(refusal, QStringLiteral("a vector picture without a size"));
            return {};
        }
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        if (fit == IconDrawing::Fit::Stretch)
            renderer.setAspectRatioMode(Qt::IgnoreAspectRatio);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
        painter.end();
        pictures.append(image);
    }
    return pictures;
}

// The size a bitmap is decoded at: the one the largest side asked for wants.
QSize firstSize(const QSize &natural, const QList<int> &sides, IconDrawing::Fit fit)
{
    return targetSize(QSizeF(natural), *std::max_element(sides.cbegin(), sides.cend()), fit, false);
}

// Each side asked for, made from the picture decoded at the largest.
QList<QImage> fitted(const QImage &decoded, const QList<int> &sides, IconDrawing::Fit fit)
{
    QList<QImage> pictures;
    for (const int side : sides) {
        // The size a header names is not always the size its data decodes to (a GIF's screen and
        // the frame on it): what was read is held to the square as well.
        const QSize wanted = targetSize(QSizeF(decoded.size()), side, fit, false);
        pictures.append(wanted == decoded.size() ? decoded
                                                 : decoded.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    return pictures;
}

// How many times the pixels drawn a picture may have to be read whole before it is scaled, and the
// pixels any picture may have to be (a megabyte decoded, beside the helper's twenty): icons of the
// usual sizes drawn small (a 256-pixel icon in a 32-pixel list row) still take the fast road.
constexpr qint64 wholeReadFactor = 4;
constexpr qint64 wholeReadFloor = qint64(512) * 512;

qint64 wholeReadPixels(const QSize &drawn)
{
    return std::max(wholeReadFactor * drawn.width() * drawn.height(), wholeReadFloor);
}

// Whether Qt's reader of these bytes scales a row at a time as it reads, so that it never holds
// the whole picture: PNG files of the kinds it scales, JPEG files that are not progressive.
bool qtScalesWhileReading(const QByteArray &bytes, const QImageReader &reader)
{
    if (const std::optional<ScaledPngReader::Header> png = ScaledPngReader::header(bytes))
        return ScaledPngReader::qtScalesWhileReading(*png);
    return reader.format() == "jpeg" && !IconDrawing::isProgressiveJpeg(bytes);
}

QList<QImage> drawBitmap(const QByteArray &bytes, const QList<int> &sides, IconDrawing::Fit fit, QString *refusal)
{
    // Nearly every icon is a plain PNG file of a few times the pixels drawn at most (or of the
    // usual sizes), which this reader decodes whole in half the time Qt's takes; a larger one, and
    // whatever it leaves, is read below.
    const int largest = *std::max_element(sides.cbegin(), sides.cend());
    if (std::optional<QImage> decoded = PngReader::read(bytes, wholeReadPixels(QSize(largest, largest)))) {
        // Scaled as Qt's reader scales while reading: smoothly, from the premultiplied pixels.
        const QSize first = firstSize(decoded->size(), sides, fit);
        if (first != decoded->size())
            *decoded = decoded->scaled(first, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return fitted(*decoded, sides, fit);
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    // The header says how large the picture is; one far beyond any icon would take seconds and
    // gigabytes to decode even when scaled while read, and is refused before that.
    const QSize size = reader.size();
    if (!size.isValid()) {
        refuse(refusal, QStringLiteral("no picture size in its header"));
        return {};
    }
    const qint64 pixels = qint64(size.width()) * size.height();
    if (pixels > IconDrawing::pixelLimit) {
        refuse(refusal, QStringLiteral("%1x%2 pixels is more than a picture may have").arg(size.width()).arg(size.height()));
        return {};
    }
    // Decoded once, at the largest size asked for; the smaller ones are made from it. A picture of
    // up to a few times the pixels drawn (an icon of 256 pixels drawn at 128), or of the usual
    // sizes, is read whole and scaled after, which takes a third less time than scaling while
    // reading; a larger one is scaled as it is read, so that what the helper holds stays a few
    // times what is drawn, and one that no reader here scales as it reads is refused.
    const QSize first = firstSize(size, sides, fit);
    if (first != size && pixels > wholeReadPixels(first)) {
        if (!qtScalesWhileReading(bytes, reader)) {
            if (!ScaledPngReader::header(bytes)) {
                refuse(refusal, QStringLiteral("%1x%2 pixels of a kind read whole is more than a picture may have")
                                    .arg(size.width()).arg(size.height()));
                return {};
            }
            // The PNG kinds Qt's reader would read whole.
            const std::optional<QImage> scaled = ScaledPngReader::read(bytes, first, IconDrawing::pixelLimit);
            if (!scaled) {
                refuse(refusal, QStringLiteral("not a PNG file that can be read"));
                return {};
            }
            return fitted(*scaled, sides, fit);
        }
        // A JPEG file is decoded at an eighth of its sides at the least, then scaled the rest of
        // the way: that eighth is held to what a picture read whole may be.
        constexpr qint64 jpegSmallestScale = 8 * 8;
        if (reader.format() == "jpeg" && pixels > jpegSmallestScale * wholeReadPixels(first)) {
            refuse(refusal, QStringLiteral("%1x%2 pixels is more than a JPEG picture may have here").arg(size.width()).arg(size.height()));
            return {};
        }
        reader.setScaledSize(first);
    }
    const QImage decoded = reader.read();
    if (decoded.isNull()) {
        refuse(refusal, reader.errorString());
        return {};
    }
    return fitted(decoded.convertToFormat(QImage::Format_ARGB32_Premultiplied), sides, fit);
}

} // namespace

namespace IconDrawing {

bool isProgressiveJpeg(QByteArrayView bytes)
{
    qsizetype at = 2;
    while (at + 4 <= bytes.size() && quint8(bytes.at(at)) == 0xff) {
        const quint8 marker = quint8(bytes.at(at + 1));
        if (marker == 0xff) {
            ++at;
            continue;
        }
        // Start of a frame: the kinds that go over the picture more than once.
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc)
            return marker == 0xc2 || marker == 0xc6 || marker == 0xca || marker == 0xce;
        at += 2 + (qsizetype(quint8(bytes.at(at + 2))) << 8 | quint8(bytes.at(at + 3)));
    }
    // No frame found where it should be: taken as the costly kind.
    return true;
}

QList<QImage> draw(const QByteArray &bytes, const QList<int> &sides, Fit fit, QString *refusal)
{
    if (sides.isEmpty() || std::any_of(sides.cbegin(), sides.cend(), [](int side) { return side < 1 || side > maximumSide; })) {
        refuse(refusal, QStringLiteral("no usable size asked for"));
        return {};
    }
    if (looksLikeSvg(bytes))
        return drawSvg(bytes, sides, fit, refusal);
    if (!PictureBytes::holdWhatTheyClaim(bytes)) {
        refuse(refusal, QStringLiteral("a picture whose headers name more bytes than it holds"));
        return {};
    }
    return drawBitmap(bytes, sides, fit, refusal);
}

QList<QImage> drawFile(const QString &path, const QList<int> &sides, Fit fit, QString *refusal)
{
    QString failure;
    const std::optional<QByteArray> bytes = readSmallFile(path, fileSizeLimit, &failure);
    if (!bytes) {
        refuse(refusal, failure);
        return {};
    }
    return draw(*bytes, sides, fit, refusal);
}

} // namespace IconDrawing
