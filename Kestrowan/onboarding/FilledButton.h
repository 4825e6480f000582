#pragma once

#include "Kestrowan/shell/PointerPlainButton.h"
#include "NVLXDesign/DynamicColor.h"

// A filled button of the first run: an optional symbol and a title in white on a rounded fill with
// a soft shadow of the fill's colour. The symbol stands before the title, or after it when trailing.
class FilledButton final : public PointerPlainButton {
    Q_OBJECT
public:
    struct Look {
        QString symbol;
        bool symbolTrailing = false;
        qreal symbolPoints = 13;
        qreal titlePoints = 13;
        qreal spacing = 5;
        qreal horizontalPadding = 14;
        qreal verticalPadding = 7;
        qreal corner = 10;
        DynamicColor fill = DynamicColor::fixed(0);
        DynamicColor shadow = DynamicColor::fixed(0);
        qreal shadowOpacity = 1.0;
        qreal shadowRadius = 8;
        qreal shadowOffset = 3;
    };
    FilledButton(const QString &title, const Look &look, QWidget *parent = nullptr);

    void setLook(const QString &title, const Look &look);
    QString title() const { return m_title; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QRectF buttonRect() const;
    QString m_title;
    Look m_look;
};
