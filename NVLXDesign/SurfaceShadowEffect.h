#pragma once

#include "NVLXDesign/DynamicShadowEffect.h"

#include <QImage>

// The drop shadow of a widget that paints an opaque surface under everything it shows (a bar, a
// banner), so that the outline the shadow follows depends on the widget's size and look alone: the
// shadow is made once for them and drawn again from that, and the widget itself is painted straight
// into the window. The plain effect draws the same pixels but, on every repaint of the widget,
// renders it into a picture (which first walks every widget of the window) and blurs that again.
class SurfaceShadowEffect final : public DynamicShadowEffect {
    Q_OBJECT
public:
    SurfaceShadowEffect(QWidget *target, const DynamicColor &color, qreal radius, const QPointF &offset);

    // Sets the effect on `target` (which owns it) and returns it.
    static SurfaceShadowEffect *apply(QWidget *target, const DynamicColor &color, qreal radius, const QPointF &offset);

protected:
    void draw(QPainter *painter) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What a made shadow holds for: the widget's size, the picture's padding around it, the screen's
    // scale and the shadow's own settings.
    struct Key {
        QSize sourceSize;
        QRect paddedRect;
        qreal devicePixelRatio = 0;
        QRgb color = 0;
        qreal blurRadius = 0;
        QPointF offset;
        friend bool operator==(const Key &, const Key &) = default;
    };

    // Whether a widget inside is drawn through an effect of its own (a button dimmed while pressed).
    // Such an effect opens a painter of its own on the device it draws into: drawn straight into
    // the window, where this effect's painter is already at work, it would draw nothing at all. The
    // widget is then drawn through a picture, as the plain effect draws it.
    bool holdsEffectOfItsOwn() const;
    // The widget drawn as it is now into a picture of `area` (device coordinates, `sourceRect` being
    // the widget's own place there).
    QImage renderedSurface(const QRect &area, const QRect &sourceRect, qreal devicePixelRatio) const;

    QWidget *m_surfaceWidget;
    std::optional<Key> m_key;
    QImage m_shadow;
};
