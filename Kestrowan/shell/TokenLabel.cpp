#include "Kestrowan/shell/TokenLabel.h"

#include <QEvent>

TokenLabel::TokenLabel(const QString &text, const DynamicColor &color, const QFont &font, QWidget *parent)
    : QLabel(text, parent), m_color(color)
{
    setFont(font);
    applyColor();
}

void TokenLabel::setColor(const DynamicColor &color)
{
    m_color = color;
    applyColor();
}

QColor TokenLabel::currentColor() const
{
    return palette().color(QPalette::WindowText);
}

void TokenLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
        applyColor();
}

void TokenLabel::applyColor()
{
    // The window background the label sits on decides the appearance; only the text role is ours.
    const QColor wanted = m_color.resolve(this);
    if (palette().color(QPalette::WindowText) == wanted)
        return;
    QPalette own = palette();
    own.setColor(QPalette::WindowText, wanted);
    setPalette(own);
}
