#pragma once

#include "Platform/Screens.h"

class QScreen;

// The screens as Qt sees them. Qt's global space has its origin at the top-left corner of the
// virtual desktop, so the top-left-origin space is Qt's shifted to the primary screen's corner, and
// the bottom-left-origin space is that one flipped about the primary screen's height.
class QtScreens final : public Screens {
public:
    QList<ScreenDescription> screens() const override;
    std::optional<ScreenDescription> mainScreen() const override;
    QPointF mouseLocation() const override;

    // The conversions of one Qt rectangle or point, given the primary screen's Qt geometry.
    static QRectF flippedRect(const QRectF &qtRect, const QRectF &primary);
    static QPointF flippedPoint(const QPointF &qtPoint, const QRectF &primary);

private:
    static ScreenDescription describe(QScreen *screen, quint32 number, const QRectF &primary);
};
