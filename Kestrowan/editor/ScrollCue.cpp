#include "Kestrowan/editor/ScrollCue.h"

#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/PointerCursorState.h"
#include "Kestrowan/shell/SymbolImage.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

ScrollCue::ScrollCue(QScrollArea *area, Edge edge) : QAbstractButton(area), m_area(area), m_edge(edge)
{
    setFocusPolicy(Qt::NoFocus);
    applyPointerCursor(this);
    QScrollBar *bar = area->horizontalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, &ScrollCue::follow);
    connect(bar, &QScrollBar::rangeChanged, this, &ScrollCue::follow);
    connect(this, &QAbstractButton::clicked, this, [this] {
        QScrollBar *sideways = m_area->horizontalScrollBar();
        const int step = qMax(1, m_area->viewport()->width() * 3 / 4);
        sideways->setValue(sideways->value() + (m_edge == Edge::Trailing ? step : -step));
    });
    // The viewport, not the area: it has its new size only once the area has laid itself out.
    m_viewport = area->viewport();
    m_viewport->installEventFilter(this);
    follow();
}

QRectF ScrollCue::buttonRect() const
{
    const qreal x = m_edge == Edge::Trailing ? width() - buttonSide - 4 : 4;
    return QRectF(x, (height() - buttonSide) / 2.0, buttonSide, buttonSide);
}

bool ScrollCue::hitButton(const QPoint &pos) const
{
    return rect().contains(pos);
}

bool ScrollCue::eventFilter(QObject *watched, QEvent *event)
{
    // Compared with the viewport kept from the start: while the area is being taken down, its
    // viewport still sends events but the area can no longer be asked for it.
    if (watched == m_viewport && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        follow();
    return QAbstractButton::eventFilter(watched, event);
}

void ScrollCue::follow()
{
    const QScrollBar *bar = m_area->horizontalScrollBar();
    const bool more = m_edge == Edge::Trailing ? bar->value() < bar->maximum() : bar->value() > bar->minimum();
    const QRect view = m_area->viewport()->geometry();
    setGeometry(m_edge == Edge::Trailing ? view.right() + 1 - cueWidth : view.left(), view.top(), cueWidth, view.height());
    setVisible(more);
    if (more)
        raise();
}

void ScrollCue::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const EffectiveAppearance appearance = effectiveAppearance(this);
    // The row fades into the page's own background towards the edge.
    QColor page = AppColors::bg.resolve(appearance);
    QColor clear = page;
    clear.setAlpha(0);
    QLinearGradient fade(0, 0, width(), 0);
    fade.setColorAt(m_edge == Edge::Trailing ? 0.0 : 1.0, clear);
    fade.setColorAt(m_edge == Edge::Trailing ? 0.6 : 0.4, page);
    fade.setColorAt(m_edge == Edge::Trailing ? 1.0 : 0.0, page);
    painter.fillRect(rect(), fade);

    const QRectF button = buttonRect();
    painter.setPen(QPen(AppColors::borderStrong.resolve(appearance), 1));
    painter.setBrush(isDown() ? AppColors::pressed.resolve(appearance) : AppColors::surfaceElevated.resolve(appearance));
    painter.drawEllipse(button.adjusted(0.5, 0.5, -0.5, -0.5));
    const QString name = m_edge == Edge::Trailing ? QStringLiteral("chevron.right") : QStringLiteral("chevron.left");
    if (const std::optional<SymbolImage> symbol = SymbolImage::named(name)) {
        const SymbolImage glyph = symbol->configured(11, SymbolImage::Weight::Semibold, AppColors::text2.resolve(appearance));
        const QSizeF size = glyph.size();
        glyph.render(painter, QRectF(button.center() - QPointF(size.width() / 2, size.height() / 2), size));
    }
}
