#pragma once

#include "Platform/Screens.h"

#include <QMarginsF>

// Screens for tests: the list, the main screen and the pointer are whatever the test sets.
class FakeScreens final : public Screens {
public:
    QList<ScreenDescription> list;
    // An index into `list`; nullopt: the system names no main screen.
    std::optional<int> mainIndex = 0;
    QPointF mouse;

    // A screen given by its top-left-origin bounds; the bottom-left-origin frames follow from the
    // primary display's height. `reserved` is what the visible frame leaves out at each edge
    // (left, top, right, bottom).
    static ScreenDescription make(const QRectF &bounds, qreal primaryHeight, quint32 number = 1,
                                  const QMarginsF &reserved = {})
    {
        ScreenDescription screen;
        screen.name = QStringLiteral("screen-%1").arg(number);
        screen.displayIdentifier = number;
        screen.displayBounds = bounds;
        screen.frame = QRectF(bounds.x(), primaryHeight - bounds.y() - bounds.height(), bounds.width(), bounds.height());
        screen.visibleFrame = QRectF(screen.frame.x() + reserved.left(), screen.frame.y() + reserved.bottom(),
                                     screen.frame.width() - reserved.left() - reserved.right(),
                                     screen.frame.height() - reserved.top() - reserved.bottom());
        return screen;
    }

    QList<ScreenDescription> screens() const override { return list; }
    std::optional<ScreenDescription> mainScreen() const override
    {
        if (!mainIndex || *mainIndex < 0 || *mainIndex >= list.size())
            return std::nullopt;
        return list.at(*mainIndex);
    }
    QPointF mouseLocation() const override { return mouse; }
};
