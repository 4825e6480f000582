#pragma once

#include "NVLXDesign/EffectiveAppearance.h"

#include <QColor>
#include <QRegion>
#include <QRectF>
#include <QWidget>
#include <functional>

class QPainter;

// The rounded surfaces behind bars and buttons: a fill behind the content and an outline over it, in
// one continuous-cornered rounded rectangle.
struct RoundedSurface {
    qreal corner = 0;
    QColor fill;
    QColor outline;
    qreal outlineWidth = 1;

    // A bar (the main window's and the editor's): elevated surface in dark, plain surface in light.
    static RoundedSurface bar(qreal corner, EffectiveAppearance appearance);
    // The popup's glass button.
    static RoundedSurface glassButton(qreal corner, bool accented, EffectiveAppearance appearance);
    // The main window's toolbar buttons.
    static RoundedSurface toolbarButton(qreal corner, bool prominent, bool hovered, EffectiveAppearance appearance);

    // The same surface behind a text field that has the keyboard focus (`focused`): outlined in the
    // kit's focus colour, as the kit's own fields show focus; unchanged otherwise.
    RoundedSurface focusedIf(bool focused, EffectiveAppearance appearance) const;

    // Paint the fill first, then the content, then the outline.
    void paintFill(QPainter &painter, const QRectF &rect) const;
    void paintOutline(QPainter &painter, const QRectF &rect) const;
    // The same, skipped when the part to be drawn again, `region`, lies wholly inside the outline:
    // the stroke would only be cut away (a field's text or a chip inside a bar drawn again).
    void paintOutline(QPainter &painter, const QRectF &rect, const QRegion &region) const;
};

// Draws `surface` again whenever `field` (a text field on it) takes or loses the keyboard focus.
void repaintOnFocusChange(QWidget *field, QWidget *surface);

// A container drawn as a rounded surface: the fill behind its children, the outline over them (the
// outline takes no mouse events). The surface is asked again at every paint, so it may depend on
// state the owner changes (call update() after such a change).
class SurfaceFrame : public QWidget {
    Q_OBJECT
public:
    using SurfaceProvider = std::function<RoundedSurface(EffectiveAppearance)>;

    explicit SurfaceFrame(SurfaceProvider surface, QWidget *parent = nullptr);
    void setSurface(SurfaceProvider surface);
    RoundedSurface currentSurface() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void childEvent(QChildEvent *event) override;

private:
    class Outline;

    SurfaceProvider m_surface;
    QWidget *m_outline = nullptr;
};
