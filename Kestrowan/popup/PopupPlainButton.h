#pragma once

#include <QAbstractButton>
#include <QPainter>

// The popup's plain buttons: no bezel, the pointing hand over them, never the keyboard's focus (the
// popup's keys go to its content), and drawn at 0.85 while pressed when they ask for it.
class PopupPlainButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PopupPlainButton(QWidget *parent = nullptr);

protected:
    // A painter for this button, antialiased, at the pressed opacity while pressed.
    void beginPainting(QPainter &painter, bool dimWhilePressed = true) const;
};
