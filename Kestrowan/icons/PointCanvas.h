#pragma once

#include <QColor>
#include <QFont>
#include <QGradientStops>
#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>
#include <functional>
#include <optional>

class QPainter;
class SymbolImage;

// A drawing surface measured in points with the origin at the bottom-left corner and y growing upwards,
// backed by a QImage of `pixelsPerPoint` pixels per point. Every conversion from that space into
// QPainter's top-left pixel space happens inside this class, so the icon code reads like the geometry
// it implements.
//
// The state that save() pushes and restore() pops is the whole graphics state: the clip (antialiased,
// intersected with each clipToPath), the shadow, the global alpha and the current scale. Clipping and
// shadows are done with layers, as QPainter's own clips are aliased and it has no shadows.
class PointCanvas {
public:
    PointCanvas(const QSizeF &sizeInPoints, qreal pixelsPerPoint = 1.0);
    // Starts from a copy of `picture` (a bitmap of this canvas's size in pixels) rather than from
    // transparency; a picture of another size gives an invalid canvas.
    PointCanvas(const QImage &picture, const QSizeF &sizeInPoints, qreal pixelsPerPoint = 1.0);
    // Only the pixels `window` of the canvas (in its pixels, rows from the top) are held: drawing
    // elsewhere is lost, and takeImage() gives that part alone. What is drawn clipped to a path
    // inside the window comes out as on the whole canvas (a gradient or a shape cut only by the
    // window's edge may differ in the last bit of a colour, as it is laid from another origin).
    PointCanvas(const QSizeF &sizeInPoints, qreal pixelsPerPoint, const QRect &window);
    ~PointCanvas();
    PointCanvas(const PointCanvas &) = delete;
    PointCanvas &operator=(const PointCanvas &) = delete;

    // False when the backing bitmap could not be had; every drawing call is then a no-op.
    bool isValid() const { return m_valid; }
    QSizeF size() const { return m_size; }
    qreal pixelsPerPoint() const { return m_scale; }
    // The colour painted so far at `point` (an invalid colour on an invalid canvas or off it).
    QColor colorAt(const QPointF &point) const;

    void save();
    void restore();
    void clipToPath(const QPainterPath &path);
    // Offset in points (negative y is downwards); blur is the shadow's softness in points.
    void setShadow(const QPointF &offset, qreal blur, const QColor &color);
    void setAlpha(qreal alpha);
    // Scales everything drawn afterwards (until restore) about the origin.
    void scaleBy(qreal factor);

    void fillPath(const QPainterPath &path, const QColor &color);
    void strokePath(const QPainterPath &path, const QColor &color, qreal lineWidth);
    // Fills the current clip with a linear gradient that stops at its end points: nothing is painted
    // before `start` or after `end` along the gradient's direction.
    void drawLinearGradient(const QGradientStops &stops, const QPointF &start, const QPointF &end);
    // Draws the whole image stretched into `rect`, upright, its alpha multiplied by `fraction`.
    void drawImage(const QImage &image, const QRectF &rect, qreal fraction = 1.0);
    // The part `crop` (in the image's pixels) of `image`, drawn as drawImage draws a copy of it;
    // the part is copied only while drawing, and kept only shrunk.
    void drawImagePart(const QImage &image, const QRect &crop, const QRectF &rect);
    void drawSymbol(const SymbolImage &symbol, const QRectF &rect, qreal fraction = 1.0);
    // Font sizes are in points. The text is centred horizontally and starts at the top of `rect`.
    void drawText(const QString &text, const QFont &font, const QColor &color, const QRectF &rect);
    qreal textHeight(const QFont &font) const;
    // Places a finished picture with its top-left corner at `pixel` (rows counted from the top), over
    // what is there: it was made with its clip and shadow already, so the current state is not applied.
    void placePixels(const QImage &picture, const QPoint &pixel);
    // What drawing clipped or shadowed leaves on the canvas: the pixels with the clip and shadow
    // applied, where they go, and the opacity they go with. Placing it draws exactly what the drawing
    // would have, so a picture drawn in the same state on many canvases is made ready once.
    struct Layer {
        QImage pixels;
        QPoint origin;
        qreal opacity = 1;
    };
    // The layer drawImage would lay down in the current state; nothing when it would draw nothing,
    // or straight onto the canvas (no clip and no shadow).
    std::optional<Layer> imageLayer(const QImage &image, const QRectF &rect, qreal fraction = 1.0) const;
    void placeLayer(const Layer &layer);
    // The pixels that drawing clipped to `rect` (in points) can touch, within the canvas.
    QRect pixelReach(const QRectF &rect) const;
    // The same for a canvas of `sizeInPoints` at `pixelsPerPoint` not yet made.
    static QRect pixelReach(const QSizeF &sizeInPoints, qreal pixelsPerPoint, const QRectF &rect);

    // Ends drawing and hands out the bitmap; its device pixel ratio is pixelsPerPoint, so its
    // device-independent size is the size in points.
    QImage takeImage();

    // The usual shapes, in points.
    static QPainterPath roundedRect(const QRectF &rect, qreal radius);
    static QPainterPath ellipse(const QRectF &rect);

    // `image` as drawImage draws it into `rect` (in points) of a canvas of `size` points at
    // `pixelsPerPoint` with no scaling of its own: smoothly shrunk to the pixels it covers when
    // the painter would have to shrink it much, otherwise as it is. A picture kept this way is
    // drawn with the same pixels and without shrinking again.
    static QImage shrunkForRect(const QImage &image, const QSizeF &size, qreal pixelsPerPoint, const QRectF &rect);

private:
    struct Shadow {
        QPointF offset;
        qreal blur = 0;
        QColor color;
        bool isSet() const { return color.isValid() && color.alpha() > 0; }
    };
    struct State {
        bool clipped = false;
        QImage mask;          // coverage of the clip over maskBounds
        QRect maskBounds;     // pixels the clip can let through, in canvas pixels
        Shadow shadow;
        qreal alpha = 1.0;
        QTransform ctm;       // user scaling, in bottom-left points
    };
    using Operation = std::function<void(QPainter &)>;

    // Points (bottom-left origin, after the current scale) into QPainter's top-left point space.
    QTransform toPainterSpace() const;
    QRectF painterRect(const QRectF &rect) const;
    // Runs `op` (which draws in top-left points) through the clip, the shadow and the alpha.
    void paint(const QRectF &painterBounds, const Operation &op, qreal opacity);
    std::optional<Layer> renderLayer(const QRectF &painterBounds, const Operation &op, qreal opacity) const;
    // The image, smoothly shrunk first when the painter would have to shrink it much to fill `target`.
    QImage shrunkFor(const QImage &image, const QRectF &target) const;
    QImage shrunkPartFor(const QImage &image, const QRect &crop, const QRectF &target) const;
    static QSize targetPixels(const QRectF &target, qreal pixelsPerPoint);
    static bool needsShrinking(const QImage &image, const QSize &targetPixels);
    QRect pixelBounds(const QRectF &painterBounds) const;
    // Names a clip's mask: the path in painter space, its pixels and the clip it lies within.
    QString maskKey(const QPainterPath &mapped, const QRect &bounds, qint64 outerMask) const;

    // The canvas pixels the image holds.
    QRect heldPixels() const { return QRect(m_origin, m_image.size()); }

    QImage m_image;
    // Where the image lies on the canvas, in canvas pixels.
    QPoint m_origin;
    QPainter *m_painter = nullptr;
    QSizeF m_size;
    qreal m_scale = 1.0;
    bool m_valid = false;
    QList<State> m_states;
};
