#pragma once

#include "Kestrowan/popup/PopupItemCell.h"

// One item in the grid: a 96 by 106 card with the 50-point picture, the name on up to two lines,
// the command badge at the top leading corner and the opener badge over the picture's corner.
class GridAppCard : public PopupItemCell {
    Q_OBJECT
public:
    static constexpr int cardWidth = 96;
    static constexpr int cardHeight = 106;

    GridAppCard(PopupCellInputs inputs, QWidget *parent = nullptr);
    QSize sizeHint() const override { return {cardWidth, cardHeight}; }
    // The name as drawn: at most two lines of 84 points, the second ending in an ellipsis when cut.
    QStringList nameLines() const;
    QRectF nameRect() const override;
    QRectF badgeRect() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    QRectF pictureRect() const override;
    qreal pictureRadius() const override { return 10; }
    qreal highlightScale() const override { return 1.08; }
    void paintOverPicture(QPainter &painter) const override;

private:
    // The lines of the name they were worked out for; a cell shows other items as the user scrolls.
    mutable QString m_linesName;
    mutable QStringList m_lines;
};
