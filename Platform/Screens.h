#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <memory>
#include <optional>

// One display as the platform describes it. Frames are in the bottom-left-origin global space
// (y growing upward, origin at the primary display's bottom-left corner); `displayBounds` is the
// same display in the top-left-origin space (y growing downward, origin at the primary display's
// top-left corner). A QRectF here is read as (minimum x, minimum y, width, height).
struct ScreenDescription {
    QString name;
    // The display's number; a screen without one has no `displayBounds` either.
    std::optional<quint32> displayIdentifier;
    QRectF frame;
    // The frame less what the Dock and the menu bar reserve.
    QRectF visibleFrame;
    QRectF displayBounds;
};

// The screens and the pointer, as the window system reports them now.
class Screens {
public:
    virtual ~Screens() = default;

    static Screens &shared();
    // Replaces the process-wide source; nullptr goes back to this machine's.
    static void install(std::unique_ptr<Screens> screens);

    // In the system's order; the primary display first.
    virtual QList<ScreenDescription> screens() const = 0;
    // The screen the user works on; nullopt when the system names none.
    virtual std::optional<ScreenDescription> mainScreen() const = 0;
    // The pointer, bottom-left-origin space.
    virtual QPointF mouseLocation() const = 0;
};
