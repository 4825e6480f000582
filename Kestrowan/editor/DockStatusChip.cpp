#include "Kestrowan/editor/DockStatusChip.h"

#include "Kestrowan/shell/AppColors.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QPainter>
#include <QTimerEvent>
#include <QtMath>

namespace {

constexpr qreal kDot = 7;
constexpr qreal kSpinner = 12;
constexpr qreal kHorizontalPadding = 10;
constexpr qreal kVerticalPadding = 6;
constexpr qreal kRadius = 8;

QFont chipFont()
{
    return SystemFont::font(11, QFont::Medium);
}

} // namespace

DockStatusChip::DockStatusChip(bool tinted, QWidget *parent) : QWidget(parent), m_tinted(tinted)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void DockStatusChip::display(const QString &text, const DynamicColor &color, bool busy)
{
    // Told the same again (every change of the draft): nothing to draw again.
    if (text == m_text && color == m_color && busy == m_busy)
        return;
    m_text = text;
    m_color = color;
    if (busy != m_busy) {
        m_busy = busy;
        if (busy)
            m_spinTimer = startTimer(80);
        else if (m_spinTimer) {
            killTimer(m_spinTimer);
            m_spinTimer = 0;
        }
    }
    setAccessibleName(text);
    updateGeometry();
    update();
}

QSize DockStatusChip::sizeHint() const
{
    const QFontMetricsF metrics(chipFont());
    const qreal mark = m_busy ? kSpinner : kDot;
    const qreal spacing = m_busy ? 6 : 5;
    return QSize(qCeil(2 * kHorizontalPadding + mark + spacing + metrics.horizontalAdvance(m_text)),
                 qCeil(2 * kVerticalPadding + qMax(metrics.height(), mark)));
}

void DockStatusChip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor color = m_color.resolve(this);
    if (m_tinted)
        painter.fillPath(ContinuousShape::roundedRect(QRectF(rect()), kRadius), m_color.resolve(this, 0.06));
    const qreal mark = m_busy ? kSpinner : kDot;
    const QRectF markRect(kHorizontalPadding, (height() - mark) / 2, mark, mark);
    if (m_busy) {
        // Eight spokes, the brightest one walking round.
        const QPointF centre = markRect.center();
        for (int i = 0; i < 8; ++i) {
            QColor spoke = color;
            spoke.setAlphaF(color.alphaF() * (0.25 + 0.75 * (((i - m_spinStep) % 8 + 8) % 8) / 7.0));
            painter.setPen(QPen(spoke, 1.5, Qt::SolidLine, Qt::RoundCap));
            const qreal angle = i * M_PI / 4;
            const QPointF dir(qCos(angle), qSin(angle));
            painter.drawLine(centre + dir * (mark * 0.22), centre + dir * (mark * 0.48));
        }
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(markRect);
    }
    painter.setFont(chipFont());
    // The dot keeps the bright tone; the words take its text shade, which reads on the page.
    painter.setPen(AppColors::textInk(m_color).resolve(this));
    const qreal textLeft = markRect.right() + (m_busy ? 6 : 5);
    painter.drawText(QRectF(textLeft, 0, width() - textLeft, height()), Qt::AlignVCenter | Qt::AlignLeft, m_text);
}

void DockStatusChip::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_spinTimer) {
        m_spinStep = (m_spinStep + 1) % 8;
        update();
    }
}
