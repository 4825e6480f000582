#include "Kestrowan/shell/TokenLabel.h"

#include <QEvent>
#include <algorithm>
#include <QPainter>
#include <QStyle>

TokenLabel::TokenLabel(const QString &text, const DynamicColor &color, const QFont &font, QWidget *parent)
    : QLabel(text, parent), m_color(color)
{
    setFont(font);
    // Inside a button the inherited role would be the button's text colour; ours is the token's.
    setForegroundRole(QPalette::WindowText);
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
    // Only the text role is set, so every other role still follows the window's palette.
    QPalette own;
    own.setResolveMask(0);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        own.setColor(group, QPalette::WindowText, wanted);
    setPalette(own);
}

void TokenLabel::setElided(bool elided)
{
    if (elided == m_elided)
        return;
    m_elided = elided;
    if (elided)
        setWordWrap(false);
    updateGeometry();
    update();
}

QString TokenLabel::shownText() const
{
    if (!m_elided)
        return text();
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width() - 2 * margin() - 2 * std::max(0, indent()));
}

QSize TokenLabel::minimumSizeHint() const
{
    if (!m_elided)
        return QLabel::minimumSizeHint();
    const QMargins margins = contentsMargins();
    return QSize(fontMetrics().horizontalAdvance(QStringLiteral("\u2026")) + 2 * margin() + margins.left() + margins.right(),
                 QLabel::minimumSizeHint().height());
}

void TokenLabel::paintEvent(QPaintEvent *event)
{
    if (!m_elided) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QRect box = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, box, int(QStyle::visualAlignment(layoutDirection(), alignment())) | Qt::TextSingleLine,
                          palette(), isEnabled(), shownText(), foregroundRole());
}
