#pragma once

#include "NVLXDesign/DynamicColor.h"

#include <QFont>
#include <QLabel>
#include <QStringList>

// A label whose text colour is a colour token, following the window's appearance as it changes. In
// the accent or a state colour the words take that colour's text shade (`AppColors::textInk`).
class TokenLabel : public QLabel {
    Q_OBJECT
public:
    TokenLabel(const QString &text, const DynamicColor &color, const QFont &font, QWidget *parent = nullptr);

    void setColor(const DynamicColor &color);
    DynamicColor color() const { return m_color; }
    // The colour the text is drawn in now.
    QColor currentColor() const;

    // A single line that is cut with "…" where its box is narrower than the text, instead of
    // being clipped mid-letter; the box may then shrink to the ellipsis alone.
    void setElided(bool elided);
    bool isElided() const { return m_elided; }
    // The text as drawn now (the whole text, or its elided form).
    QString shownText() const;
    // The lines a wrapped label draws now, at its balanced width (see LineBreaking), without the
    // zero-width break marks.
    QStringList shownLines() const;

    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void applyColor();
    bool drawsOwnLines() const;
    QRect textBox() const;

    DynamicColor m_color;
    bool m_elided = false;
};
