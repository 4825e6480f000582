#pragma once

#include "Kestrowan/mainwindow/HoverCard.h"

// The first cell of the group grid: a plus tile and "New Group"; a click starts a new group.
class NewGroupCardView final : public HoverCard {
    Q_OBJECT
public:
    explicit NewGroupCardView(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    void retitle();

protected:
    void paintContent(QPainter &painter, const QRectF &rect) override;
};
