#include "Kestrowan/icons/PointCanvas.h"

#include "Kestrowan/icons/ShadowBlur.h"
#include "Kestrowan/icons/StampedCache.h"
#include "Kestrowan/shell/SymbolImage.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <cmath>

namespace {

// Text sizes are given in points; at 72 dots per inch a point is one unit of the painter's space.
constexpr int kDotsPerMeterAt72Dpi = 2835;
// Larger bitmaps are refused rather than allocated: 16384 pixels is beyond any icon or preview.
constexpr int kMaximumPixelSide = 16384;
constexpr qint64 kLargestKeptMask = 640 * 640;

QImage transparentImage(const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(Qt::transparent);
    image.setDotsPerMeterX(kDotsPerMeterAt72Dpi);
    image.setDotsPerMeterY(kDotsPerMeterAt72Dpi);
    return image;
}

void prepare(QPainter &painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::TextAntialiasing);
}

qreal uniformScale(const QTransform &t)
{
    return std::sqrt(std::abs(t.determinant()));
}

} // namespace

PointCanvas::PointCanvas(const QSizeF &sizeInPoints, qreal pixelsPerPoint)
    : PointCanvas(sizeInPoints, pixelsPerPoint, QRect(0, 0, kMaximumPixelSide, kMaximumPixelSide))
{
}

PointCanvas::PointCanvas(const QSizeF &sizeInPoints, qreal pixelsPerPoint, const QRect &window)
    : m_size(sizeInPoints), m_scale(pixelsPerPoint)
{
    m_states.append(State{});
    const QSize pixels(qCeil(sizeInPoints.width() * pixelsPerPoint), qCeil(sizeInPoints.height() * pixelsPerPoint));
    if (!(pixelsPerPoint > 0) || pixels.width() < 1 || pixels.height() < 1 || pixels.width() > kMaximumPixelSide
        || pixels.height() > kMaximumPixelSide)
        return;
    const QRect held = window & QRect(QPoint(0, 0), pixels);
    if (held.isEmpty())
        return;
    m_image = transparentImage(held.size());
    if (m_image.isNull())
        return;
    m_origin = held.topLeft();
    m_painter = new QPainter(&m_image);
    prepare(*m_painter);
    m_valid = true;
}

PointCanvas::PointCanvas(const QImage &picture, const QSizeF &sizeInPoints, qreal pixelsPerPoint)
    : m_size(sizeInPoints), m_scale(pixelsPerPoint)
{
    m_states.append(State{});
    const QSize pixels(qCeil(sizeInPoints.width() * pixelsPerPoint), qCeil(sizeInPoints.height() * pixelsPerPoint));
    if (picture.size() != pixels || picture.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    m_image = picture.copy();
    if (m_image.isNull())
        return;
    m_image.setDevicePixelRatio(1.0);
    m_image.setDotsPerMeterX(kDotsPerMeterAt72Dpi);
    m_image.setDotsPerMeterY(kDotsPerMeterAt72Dpi);
    m_painter = new QPainter(&m_image);
    prepare(*m_painter);
    m_valid = true;
}

PointCanvas::~PointCanvas()
{
    delete m_painter;
}

void PointCanvas::save()
{
    m_states.append(m_states.constLast());
}

void PointCanvas::restore()
{
    if (m_states.size() > 1)
        m_states.removeLast();
}

QTransform PointCanvas::toPainterSpace() const
{
    const QTransform flip(1, 0, 0, -1, 0, m_size.height());
    return m_states.constLast().ctm * flip;
}

QColor PointCanvas::colorAt(const QPointF &point) const
{
    if (!m_valid)
        return {};
    const QPoint pixel = (toPainterSpace().map(point) * m_scale).toPoint();
    if (!heldPixels().contains(pixel))
        return {};
    return m_image.pixelColor(pixel - m_origin);
}

QRectF PointCanvas::painterRect(const QRectF &rect) const
{
    return toPainterSpace().mapRect(rect.normalized());
}

QRect PointCanvas::pixelBounds(const QRectF &painterBounds) const
{
    const QRectF px(painterBounds.x() * m_scale, painterBounds.y() * m_scale, painterBounds.width() * m_scale,
                    painterBounds.height() * m_scale);
    return px.toAlignedRect().adjusted(-1, -1, 1, 1);
}

void PointCanvas::clipToPath(const QPainterPath &path)
{
    if (!m_valid)
        return;
    State &state = m_states.last();
    const QPainterPath mapped = toPainterSpace().map(path);
    // The mask covers only the pixels the clip can let through, not the whole canvas.
    QRect bounds = pixelBounds(mapped.boundingRect()) & heldPixels();
    if (state.clipped)
        bounds &= state.maskBounds;
    QImage mask;
    if (!bounds.isEmpty()) {
        // The same clips come back on every icon and preview (a tile's corners, a card's well), so a
        // mask is painted once per path, place and outer clip.
        static StampedCache<QImage> masks(16);
        const QString key = maskKey(mapped, bounds, state.clipped ? state.mask.cacheKey() : 0);
        if (std::optional<QImage> kept = masks.find(key)) {
            mask = *kept;
        } else {
            mask = transparentImage(bounds.size());
            if (mask.isNull())
                return;
            QPainter p(&mask);
            prepare(p);
            p.setTransform(QTransform::fromScale(m_scale, m_scale) * QTransform::fromTranslate(-bounds.x(), -bounds.y()));
            p.fillPath(mapped, Qt::black);
            if (state.clipped) {
                p.resetTransform();
                p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
                p.drawImage(state.maskBounds.topLeft() - bounds.topLeft(), state.mask);
            }
            p.end();
            // Only its coverage counts (it is only ever drawn with DestinationIn), which a
            // quarter of the bytes holds.
            mask = mask.convertToFormat(QImage::Format_Alpha8);
            // Masks of icon size are kept; the few of larger skins would hold many megabytes.
            if (qint64(bounds.width()) * bounds.height() <= kLargestKeptMask)
                masks.insert(key, mask);
        }
    }
    state.clipped = true;
    state.mask = mask;
    state.maskBounds = bounds;
}

QString PointCanvas::maskKey(const QPainterPath &mapped, const QRect &bounds, qint64 outerMask) const
{
    QByteArray bytes;
    bytes.reserve(int(mapped.elementCount() * 20 + 64));
    const auto append = [&bytes](const auto &value) { bytes.append(reinterpret_cast<const char *>(&value), sizeof(value)); };
    append(m_scale);
    append(bounds.x());
    append(bounds.y());
    append(bounds.width());
    append(bounds.height());
    append(outerMask);
    append(int(mapped.fillRule()));
    for (int i = 0; i < mapped.elementCount(); ++i) {
        const QPainterPath::Element element = mapped.elementAt(i);
        append(int(element.type));
        append(element.x);
        append(element.y);
    }
    return QString::fromLatin1(bytes.toBase64());
}

void PointCanvas::setShadow(const QPointF &offset, qreal blur, const QColor &color)
{
    m_states.last().shadow = Shadow{offset, std::max<qreal>(0, blur), color};
}

void PointCanvas::setAlpha(qreal alpha)
{
    m_states.last().alpha = alpha > 0 ? std::min<qreal>(alpha, 1) : 0;
}

void PointCanvas::scaleBy(qreal factor)
{
    m_states.last().ctm = QTransform::fromScale(factor, factor) * m_states.last().ctm;
}

void PointCanvas::paint(const QRectF &painterBounds, const Operation &op, qreal opacity)
{
    if (!m_valid || !(opacity > 0))
        return;
    const State &state = m_states.constLast();
    if (!state.clipped && !state.shadow.isSet()) {
        m_painter->setTransform(QTransform::fromScale(m_scale, m_scale) * QTransform::fromTranslate(-m_origin.x(), -m_origin.y()));
        m_painter->setOpacity(std::min<qreal>(opacity, 1));
        op(*m_painter);
        return;
    }
    if (const std::optional<Layer> layer = renderLayer(painterBounds, op, opacity))
        placeLayer(*layer);
}

std::optional<PointCanvas::Layer> PointCanvas::renderLayer(const QRectF &painterBounds, const Operation &op, qreal opacity) const
{
    if (!m_valid || !(opacity > 0))
        return std::nullopt;
    const State &state = m_states.constLast();
    const bool clipped = state.clipped;
    if (clipped && state.maskBounds.isEmpty())
        return std::nullopt;

    const QRect content = pixelBounds(painterBounds);
    QRect layerRect = content;
    QPointF shadowOffset;
    qreal sigma = 0;
    if (state.shadow.isSet()) {
        // The offset is given upwards-positive; pixel rows grow downwards.
        shadowOffset = QPointF(state.shadow.offset.x(), -state.shadow.offset.y()) * m_scale;
        sigma = state.shadow.blur / 2.0 * m_scale;
        const int spread = qCeil(3 * sigma) + 1;
        const QRect shadowRect = content.translated(shadowOffset.toPoint()).adjusted(-spread, -spread, spread, spread);
        layerRect |= shadowRect;
        // Content beyond the canvas may still cast a shadow onto it.
        const int reach = spread + qCeil(std::abs(shadowOffset.x()) + std::abs(shadowOffset.y()));
        layerRect &= heldPixels().adjusted(-reach, -reach, reach, reach);
    } else {
        layerRect &= state.maskBounds;
    }
    if (layerRect.isEmpty())
        return std::nullopt;

    QImage layer = transparentImage(layerRect.size());
    if (layer.isNull())
        return std::nullopt;
    {
        QPainter lp(&layer);
        prepare(lp);
        lp.setTransform(QTransform::fromScale(m_scale, m_scale) * QTransform::fromTranslate(-layerRect.x(), -layerRect.y()));
        op(lp);
    }
    if (state.shadow.isSet())
        layer = ShadowBlur::underlay(layer, shadowOffset, sigma, state.shadow.color, layerRect.topLeft());
    if (clipped) {
        // Whatever lies beyond the mask is cut off; the rest is masked.
        const QRect keep = layerRect & state.maskBounds;
        if (keep.isEmpty())
            return std::nullopt;
        if (keep != layerRect) {
            layer = layer.copy(keep.translated(-layerRect.topLeft()));
            layerRect = keep;
        }
        QPainter mp(&layer);
        mp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        mp.drawImage(QPoint(0, 0), state.mask, layerRect.translated(-state.maskBounds.topLeft()));
    }
    return Layer{layer, layerRect.topLeft(), std::min<qreal>(opacity, 1)};
}

std::optional<PointCanvas::Layer> PointCanvas::imageLayer(const QImage &image, const QRectF &rect, qreal fraction) const
{
    const State &state = m_states.constLast();
    // Without a clip or a shadow an image is drawn straight onto the canvas, with nothing to keep.
    if (image.isNull() || rect.isEmpty() || (!state.clipped && !state.shadow.isSet()))
        return std::nullopt;
    const QRectF target = painterRect(rect);
    const QImage source = shrunkFor(image, target);
    return renderLayer(target, [&](QPainter &p) { p.drawImage(target, source, QRectF(QPointF(0, 0), QSizeF(source.size()))); },
                       state.alpha * fraction);
}

void PointCanvas::placeLayer(const Layer &layer)
{
    if (!m_valid || layer.pixels.isNull())
        return;
    m_painter->resetTransform();
    m_painter->setOpacity(layer.opacity);
    m_painter->drawImage(layer.origin - m_origin, layer.pixels);
}

void PointCanvas::fillPath(const QPainterPath &path, const QColor &color)
{
    const QPainterPath mapped = toPainterSpace().map(path);
    paint(mapped.boundingRect(), [&](QPainter &p) { p.fillPath(mapped, color); }, m_states.constLast().alpha);
}

void PointCanvas::strokePath(const QPainterPath &path, const QColor &color, qreal lineWidth)
{
    const qreal width = lineWidth * uniformScale(m_states.constLast().ctm);
    const QPainterPath mapped = toPainterSpace().map(path);
    const QRectF bounds = mapped.boundingRect().adjusted(-width, -width, width, width);
    paint(bounds,
          [&](QPainter &p) {
              p.strokePath(mapped, QPen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
          },
          m_states.constLast().alpha);
}

void PointCanvas::drawLinearGradient(const QGradientStops &stops, const QPointF &start, const QPointF &end)
{
    const QTransform t = toPainterSpace();
    const QPointF s = t.map(start);
    const QPointF e = t.map(end);
    const QPointF d = e - s;
    const qreal length = std::hypot(d.x(), d.y());
    if (length <= 0 || stops.isEmpty())
        return;
    // The band between the perpendiculars through both ends: beyond them nothing is painted.
    const qreal reach = 4 * (m_size.width() + m_size.height()) * uniformScale(m_states.constLast().ctm);
    const QPointF n(-d.y() / length * reach, d.x() / length * reach);
    QPainterPath band;
    band.moveTo(s + n);
    band.lineTo(e + n);
    band.lineTo(e - n);
    band.lineTo(s - n);
    band.closeSubpath();
    QLinearGradient gradient(s, e);
    gradient.setStops(stops);
    gradient.setSpread(QGradient::PadSpread);
    const QRectF canvas(QPointF(0, 0), m_size);
    paint(canvas, [&](QPainter &p) { p.fillPath(band, gradient); }, m_states.constLast().alpha);
}

QSize PointCanvas::targetPixels(const QRectF &target, qreal pixelsPerPoint)
{
    return (target.size() * pixelsPerPoint).toSize();
}

bool PointCanvas::needsShrinking(const QImage &image, const QSize &targetPixels)
{
    return targetPixels.width() > 0 && targetPixels.height() > 0
           && (image.width() > targetPixels.width() * 5 / 4 || image.height() > targetPixels.height() * 5 / 4);
}

namespace {

StampedCache<QImage> &shrunkImages()
{
    static StampedCache<QImage> shrunk(16);
    return shrunk;
}

} // namespace

QImage PointCanvas::shrunkFor(const QImage &image, const QRectF &target) const
{
    const QSize pixels = targetPixels(target, m_scale);
    // Qt's smooth scaling averages whole areas; letting the painter shrink a large bitmap would alias.
    // The same bitmaps come back at the same sizes (an application's icon in every style), so the
    // shrunk copies are kept.
    if (!needsShrinking(image, pixels))
        return image;
    const QString key = QStringLiteral("%1:%2x%3").arg(image.cacheKey()).arg(pixels.width()).arg(pixels.height());
    if (std::optional<QImage> cached = shrunkImages().find(key))
        return *cached;
    const QImage source = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    shrunkImages().insert(key, source);
    return source;
}

QImage PointCanvas::shrunkPartFor(const QImage &image, const QRect &crop, const QRectF &target) const
{
    const QSize pixels = targetPixels(target, m_scale);
    const QString key = QStringLiteral("%1[%2,%3,%4,%5]:%6x%7")
                            .arg(image.cacheKey())
                            .arg(crop.x())
                            .arg(crop.y())
                            .arg(crop.width())
                            .arg(crop.height())
                            .arg(pixels.width())
                            .arg(pixels.height());
    if (std::optional<QImage> cached = shrunkImages().find(key))
        return *cached;
    QImage part = image.copy(crop);
    if (part.isNull())
        part = image;
    if (!needsShrinking(part, pixels))
        return part;
    const QImage source = part.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    shrunkImages().insert(key, source);
    return source;
}

QImage PointCanvas::shrunkForRect(const QImage &image, const QSizeF &size, qreal pixelsPerPoint, const QRectF &rect)
{
    // The mapping of painterRect() with no scaling of the canvas's own.
    const QTransform flip(1, 0, 0, -1, 0, size.height());
    const QSize pixels = targetPixels(flip.mapRect(rect.normalized()), pixelsPerPoint);
    if (image.isNull() || rect.isEmpty() || !needsShrinking(image, pixels))
        return image;
    return image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void PointCanvas::drawImage(const QImage &image, const QRectF &rect, qreal fraction)
{
    if (image.isNull() || rect.isEmpty())
        return;
    const QRectF target = painterRect(rect);
    const QImage source = shrunkFor(image, target);
    paint(target,
          [&](QPainter &p) { p.drawImage(target, source, QRectF(QPointF(0, 0), QSizeF(source.size()))); },
          m_states.constLast().alpha * fraction);
}

void PointCanvas::drawImagePart(const QImage &image, const QRect &crop, const QRectF &rect)
{
    if (image.isNull() || rect.isEmpty())
        return;
    const QRectF target = painterRect(rect);
    const QImage source = shrunkPartFor(image, crop, target);
    paint(target,
          [&](QPainter &p) { p.drawImage(target, source, QRectF(QPointF(0, 0), QSizeF(source.size()))); },
          m_states.constLast().alpha);
}

void PointCanvas::drawSymbol(const SymbolImage &symbol, const QRectF &rect, qreal fraction)
{
    if (rect.isEmpty())
        return;
    const QRectF target = painterRect(rect);
    paint(target, [&](QPainter &p) { symbol.render(p, target); }, m_states.constLast().alpha * fraction);
}

void PointCanvas::drawText(const QString &text, const QFont &font, const QColor &color, const QRectF &rect)
{
    if (text.isEmpty())
        return;
    const QRectF target = painterRect(rect);
    QFont scaled = font;
    scaled.setPointSizeF(font.pointSizeF() * uniformScale(m_states.constLast().ctm));
    // Text wider than its box overflows sideways rather than being cut, so the bounds allow for it.
    const QRectF bounds = target.adjusted(-target.width(), -target.height(), target.width(), target.height());
    paint(bounds,
          [&](QPainter &p) {
              p.setFont(scaled);
              p.setPen(color);
              p.drawText(target, Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, text);
          },
          m_states.constLast().alpha);
}

qreal PointCanvas::textHeight(const QFont &font) const
{
    if (!m_valid)
        return 0;
    return QFontMetricsF(font, &m_image).height();
}

void PointCanvas::placePixels(const QImage &picture, const QPoint &pixel)
{
    if (!m_valid || picture.isNull())
        return;
    m_painter->resetTransform();
    m_painter->setOpacity(1);
    m_painter->drawImage(pixel - m_origin, picture);
}

QRect PointCanvas::pixelReach(const QRectF &rect) const
{
    return pixelBounds(painterRect(rect)) & heldPixels();
}

QRect PointCanvas::pixelReach(const QSizeF &sizeInPoints, qreal pixelsPerPoint, const QRectF &rect)
{
    // painterRect() and pixelBounds() of a canvas with no scaling of its own.
    const QTransform flip(1, 0, 0, -1, 0, sizeInPoints.height());
    const QRectF bounds = flip.mapRect(rect.normalized());
    const QRectF px(bounds.x() * pixelsPerPoint, bounds.y() * pixelsPerPoint, bounds.width() * pixelsPerPoint,
                    bounds.height() * pixelsPerPoint);
    const QSize pixels(qCeil(sizeInPoints.width() * pixelsPerPoint), qCeil(sizeInPoints.height() * pixelsPerPoint));
    return px.toAlignedRect().adjusted(-1, -1, 1, 1) & QRect(QPoint(0, 0), pixels);
}

QImage PointCanvas::takeImage()
{
    delete m_painter;
    m_painter = nullptr;
    m_valid = false;
    QImage result = std::move(m_image);
    m_image = QImage();
    if (!result.isNull())
        result.setDevicePixelRatio(m_scale);
    return result;
}

QPainterPath PointCanvas::roundedRect(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    const qreal r = std::min({radius, rect.width() / 2, rect.height() / 2});
    path.addRoundedRect(rect, r, r);
    return path;
}

QPainterPath PointCanvas::ellipse(const QRectF &rect)
{
    QPainterPath path;
    path.addEllipse(rect);
    return path;
}
