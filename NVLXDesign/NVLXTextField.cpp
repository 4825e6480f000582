#include "NVLXDesign/NVLXTextField.h"

#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/DS.h"
#include "NVLXDesign/EffectiveAppearance.h"
#include "NVLXDesign/SystemFont.h"

#include <QEvent>
#include <QPainter>

NVLXTextField::NVLXTextField(QWidget *parent) : QLineEdit(parent)
{
    setFrame(false);
    setFont(SystemFont::font(DS::fsSm));
    setTextMargins(horizontalInset, verticalInset, horizontalInset, verticalInset);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    applyColors();
}

QSize NVLXTextField::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(QLineEdit::sizeHint().width(), metrics.height() + 2 * verticalInset + 2);
}

QSize NVLXTextField::minimumSizeHint() const
{
    return QSize(QLineEdit::minimumSizeHint().width(), sizeHint().height());
}

void NVLXTextField::applyColors()
{
    if (m_applying)
        return;
    m_applying = true;
    const EffectiveAppearance appearance = effectiveAppearance(parentWidget() ? parentWidget() : this);
    QPalette colors = palette();
    // The field draws its own fill; the style's base would square it off.
    colors.setColor(QPalette::Base, Qt::transparent);
    colors.setColor(QPalette::Text, DS::text1.resolve(appearance));
    // The secondary text colour: the tertiary one falls to about 3:1 on the dark input fill.
    colors.setColor(QPalette::PlaceholderText, DS::text2.resolve(appearance));
    colors.setColor(QPalette::Highlight, DS::accentGlow.resolve(appearance));
    colors.setColor(QPalette::HighlightedText, DS::text1.resolve(appearance));
    setPalette(colors);
    m_applying = false;
}

void NVLXTextField::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ParentChange
        || (event->type() == QEvent::PaletteChange && !m_applying))
        applyColors();
}

void NVLXTextField::paintEvent(QPaintEvent *event)
{
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const EffectiveAppearance appearance = effectiveAppearance(parentWidget() ? parentWidget() : this);
        const QRectF box = QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75);
        const QPainterPath shape = ContinuousShape::roundedRect(box, cornerRadius);
        painter.fillPath(shape, DS::bgInput.resolve(appearance));
        const bool focused = hasFocus();
        painter.setPen(QPen((focused ? DS::borderFocus : DS::borderStrong).resolve(appearance), focused ? 1.5 : 1));
        painter.drawPath(shape);
    }
    QLineEdit::paintEvent(event);
}
