#include "Kestrowan/shell/TokenLabel.h"

#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/LineBreaking.h"

#include <QEvent>
#include <algorithm>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>

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
    const QColor wanted = AppColors::textInk(m_color).resolve(this);
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

bool TokenLabel::drawsOwnLines() const
{
    // Rich or selectable text is laid out by the label's own document; plain wrapped text is ours.
    return !m_elided && wordWrap() && !text().isEmpty() && textFormat() != Qt::RichText
        && !(textFormat() == Qt::AutoText && Qt::mightBeRichText(text()))
        && !(textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard));
}

QRect TokenLabel::textBox() const
{
    QRect box = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const int shift = indent() < 0 ? 0 : indent();
    const Qt::Alignment horizontal = QStyle::visualAlignment(layoutDirection(), alignment()) & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignLeft)
        box.setLeft(box.left() + shift);
    else if (horizontal & Qt::AlignRight)
        box.setRight(box.right() - shift);
    return box;
}

QStringList TokenLabel::shownLines() const
{
    if (!drawsOwnLines())
        return {LineBreaking::visibleText(shownText())};
    const qreal width = LineBreaking::balancedWidth(font(), text(), textBox().width());
    QStringList lines = LineBreaking::wrappedLines(font(), text(), width);
    for (QString &line : lines)
        line = LineBreaking::visibleText(line);
    return lines;
}

void TokenLabel::paintEvent(QPaintEvent *event)
{
    if (drawsOwnLines()) {
        // The same line count as the label asked height for, at the narrowest width that keeps
        // it, so the lines come out even instead of leaving a word alone on the last one.
        const QRect box = textBox();
        const qreal width = LineBreaking::balancedWidth(font(), text(), box.width());
        QTextLayout layout(text(), font());
        LineBreaking::layOutLines(layout, width);
        const qreal height = layout.boundingRect().height();
        const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
        for (int i = 0; i < layout.lineCount(); ++i) {
            QTextLine line = layout.lineAt(i);
            const qreal free = box.width() - line.naturalTextWidth();
            qreal x = 0;
            if (align & Qt::AlignHCenter)
                x = free / 2;
            else if (align & Qt::AlignRight)
                x = free;
            line.setPosition(QPointF(x, line.position().y()));
        }
        qreal top = box.top();
        if (align & Qt::AlignVCenter)
            top += (box.height() - height) / 2;
        else if (align & Qt::AlignBottom)
            top += box.height() - height;
        QPainter painter(this);
        painter.setPen(palette().color(isEnabled() ? QPalette::Normal : QPalette::Disabled, foregroundRole()));
        layout.draw(&painter, QPointF(box.left(), top));
        return;
    }
    if (!m_elided) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QRect box = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, box, int(QStyle::visualAlignment(layoutDirection(), alignment())) | Qt::TextSingleLine,
                          palette(), isEnabled(), shownText(), foregroundRole());
}
