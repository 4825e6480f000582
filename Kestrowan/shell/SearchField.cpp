#include "Kestrowan/shell/SearchField.h"

#include <QEvent>
#include <QPainter>

SearchField::SearchField(QWidget *parent)
    : QLineEdit(parent)
{
    setFrame(false);
    setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    hideOwnPlaceholder();
}

void SearchField::hideOwnPlaceholder()
{
    // The line edit would draw the placeholder where the caret stands; it draws it in a clear
    // colour and the field draws it again, indented, in the colour the palette gives it.
    QPalette clear = palette();
    clear.setColor(QPalette::PlaceholderText, Qt::transparent);
    setPalette(clear);
}

void SearchField::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    // A new application palette (a switch of the look) replaces the clear placeholder colour.
    if (event->type() == QEvent::PaletteChange && palette().color(QPalette::PlaceholderText).alpha() != 0)
        hideOwnPlaceholder();
}

void SearchField::paintEvent(QPaintEvent *event)
{
    QLineEdit::paintEvent(event);
    if (!text().isEmpty() || placeholderText().isEmpty())
        return;
    const QWidget *source = parentWidget() ? parentWidget() : this;
    QPainter painter(this);
    painter.setPen(source->palette().color(QPalette::PlaceholderText));
    painter.setFont(font());
    // The cursor rectangle the field reports is the caret widened evenly on both sides: its middle
    // is where the caret is drawn.
    const QRect caret = inputMethodQuery(Qt::ImCursorRectangle).toRect();
    const int caretX = (caret.left() + caret.right() + 1) / 2;
    const int left = caretX + 1 + placeholderIndent;
    // The caret spans the line the text would take: the placeholder keeps to that line.
    const QRect box(left, caret.top(), std::max(0, width() - left), caret.height());
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(placeholderText(), Qt::ElideRight, box.width()));
}
