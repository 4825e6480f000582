#pragma once

#include "Kestrowan/popup/PopupItemCell.h"

// One item in the list (and fan) style: a full-width row with the 34-point picture, its opened dot
// and opener badge, the name on one line, the command badge and a chevron.
class ListAppRow : public PopupItemCell {
    Q_OBJECT
public:
    static constexpr int rowHeight = 54; // 34 for the picture and 10 above and below

    ListAppRow(PopupCellInputs inputs, QWidget *parent = nullptr);
    QSize sizeHint() const override { return {360, rowHeight}; }
    // The name as drawn in the room the row gives it, with an ellipsis when cut.
    QString visibleName() const;
    QRectF nameRect() const override;
    QRectF badgeRect() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    QRectF pictureRect() const override;
    qreal pictureRadius() const override { return 7; }
    void paintOverPicture(QPainter &painter) const override;

};
