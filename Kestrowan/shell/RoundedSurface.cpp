#include "Kestrowan/shell/RoundedSurface.h"

#include "Kestrowan/shell/AppColors.h"
#include "NVLXDesign/ContinuousShape.h"

#include <QChildEvent>
#include <QPaintEvent>
#include <QPointer>
#include <QPainterPath>

#include <algorithm>
#include <QPainter>

RoundedSurface RoundedSurface::bar(qreal corner, EffectiveAppearance appearance)
{
    if (appearance == EffectiveAppearance::Dark)
        return {corner, AppColors::surfaceElevated.resolve(appearance), AppColors::border.resolve(appearance), 1.0};
    return {corner, AppColors::surface.resolve(appearance), AppColors::borderStrong.resolve(appearance), 1.0};
}

RoundedSurface RoundedSurface::glassButton(qreal corner, bool accented, EffectiveAppearance appearance)
{
    if (accented)
        return {corner, AppColors::accent.resolve(appearance, 0.1), AppColors::borderStrong.resolve(appearance), 1.0};
    return {corner, AppColors::bgHover.resolve(appearance), AppColors::borderCard.resolve(appearance), 0.8};
}

RoundedSurface RoundedSurface::toolbarButton(qreal corner, bool prominent, bool hovered, EffectiveAppearance appearance)
{
    if (prominent)
        return {corner, AppColors::accent.resolve(appearance, hovered ? 0.14 : 0.09),
                AppColors::accentStroke.resolve(appearance), 1.0};
    if (hovered)
        return {corner, AppColors::pressed.resolve(appearance), AppColors::borderStrong.resolve(appearance), 1.0};
    return {corner, AppColors::bgHover.resolve(appearance), AppColors::borderCard.resolve(appearance), 0.8};
}

RoundedSurface RoundedSurface::focusedIf(bool focused, EffectiveAppearance appearance) const
{
    if (!focused)
        return *this;
    RoundedSurface ringed = *this;
    ringed.outline = DS::borderFocus.resolve(appearance);
    ringed.outlineWidth = 1.5;
    return ringed;
}

namespace {

class FocusRepainter final : public QObject {
public:
    FocusRepainter(QWidget *field, QWidget *surface) : QObject(field), m_surface(surface) { field->installEventFilter(this); }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if ((event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) && m_surface)
            m_surface->update();
        return false;
    }

private:
    QPointer<QWidget> m_surface;
};

} // namespace

void repaintOnFocusChange(QWidget *field, QWidget *surface)
{
    if (field && surface)
        new FocusRepainter(field, surface);
}

void RoundedSurface::paintFill(QPainter &painter, const QRectF &rect) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(ContinuousShape::roundedRect(rect, corner), fill);
    painter.restore();
}

void RoundedSurface::paintOutline(QPainter &painter, const QRectF &rect, const QRegion &region) const
{
    // The stroke and its antialiasing reach at most the outline's width and a pixel into the shape;
    // the same rounded rectangle drawn two pixels further in lies inside all of that.
    const qreal clear = outlineWidth + 2;
    const QRectF inner = rect.adjusted(clear, clear, -clear, -clear);
    if (!region.isEmpty() && inner.isValid()) {
        const QPainterPath inside = ContinuousShape::roundedRect(inner, corner);
        if (std::all_of(region.begin(), region.end(), [&inside](const QRect &part) { return inside.contains(QRectF(part)); }))
            return;
    }
    paintOutline(painter, rect);
}

void RoundedSurface::paintOutline(QPainter &painter, const QRectF &rect) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(outline, outlineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // The stroke straddles the outline; keep it inside the widget so no half is cut off.
    const qreal inset = outlineWidth / 2;
    painter.drawPath(ContinuousShape::roundedRect(rect.adjusted(inset, inset, -inset, -inset), qMax<qreal>(0, corner - inset)));
    painter.restore();
}

class SurfaceFrame::Outline : public QWidget {
public:
    explicit Outline(SurfaceFrame *frame) : QWidget(frame), m_frame(frame)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        m_frame->currentSurface().paintOutline(painter, QRectF(rect()), event->region());
    }

private:
    SurfaceFrame *m_frame;
};

SurfaceFrame::SurfaceFrame(SurfaceProvider surface, QWidget *parent)
    : QWidget(parent), m_surface(std::move(surface))
{
    m_outline = new Outline(this);
    m_outline->raise();
}

void SurfaceFrame::setSurface(SurfaceProvider surface)
{
    m_surface = std::move(surface);
    update();
    m_outline->update();
}

RoundedSurface SurfaceFrame::currentSurface() const
{
    return m_surface ? m_surface(effectiveAppearance(this)) : RoundedSurface{};
}

void SurfaceFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    currentSurface().paintFill(painter, QRectF(rect()));
}

void SurfaceFrame::resizeEvent(QResizeEvent *event)
{
    m_outline->setGeometry(rect());
    m_outline->raise();
    QWidget::resizeEvent(event);
}

void SurfaceFrame::childEvent(QChildEvent *event)
{
    QWidget::childEvent(event);
    // Children added later would cover the outline.
    const bool added = event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished;
    if (added && m_outline && event->child() != m_outline)
        m_outline->raise();
}
