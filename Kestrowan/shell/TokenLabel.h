#pragma once

#include "NVLXDesign/DynamicColor.h"

#include <QFont>
#include <QLabel>

// A label whose text colour is a colour token, following the window's appearance as it changes.
class TokenLabel : public QLabel {
    Q_OBJECT
public:
    TokenLabel(const QString &text, const DynamicColor &color, const QFont &font, QWidget *parent = nullptr);

    void setColor(const DynamicColor &color);
    DynamicColor color() const { return m_color; }
    // The colour the text is drawn in now.
    QColor currentColor() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyColor();

    DynamicColor m_color;
};
