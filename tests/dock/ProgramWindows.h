#pragma once

#include "Kestrowan/dock/DockPositionResolver.h"
#include "tests/app/X11Windows.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>

#include <optional>

// What a test on a real X server reads of the running program and the stand-in Dock from outside:
// the program's windows, its popup beside an anchor and the Dock's tiles.
namespace ProgramWindows {

constexpr int roadTimeout = 20000;

// The viewable windows of one process, in root coordinates.
inline QList<QRect> windowsOfProcess(qint64 pid)
{
    QList<QRect> windows;
    for (const X11Windows::Window &window : X11Windows().all()) {
        if (window.viewable && window.pid == pid)
            windows.append(window.geometry);
    }
    return windows;
}

// Where a popup beside `anchor` (window space) would be: its edge within a few points of the
// anchor's far side, across from the Dock, and centred on the anchor along it.
inline bool isBesideAbove(const QRect &window, const QRect &anchor)
{
    const int gap = anchor.top() - (window.top() + window.height());
    return gap >= 0 && gap <= 16 && qAbs(window.center().x() - anchor.center().x()) <= 4;
}

inline std::optional<QRect> popupBeside(qint64 pid, const QRect &anchor)
{
    for (const QRect &window : windowsOfProcess(pid)) {
        if (isBesideAbove(window, anchor))
            return window;
    }
    return std::nullopt;
}

inline bool waitForPopupBeside(qint64 pid, const QRect &anchor, int timeout = roadTimeout)
{
    return QTest::qWaitFor([&] { return popupBeside(pid, anchor).has_value(); }, timeout);
}

inline bool waitForNoPopupBeside(qint64 pid, const QRect &anchor, int timeout = roadTimeout)
{
    return QTest::qWaitFor([&] { return !popupBeside(pid, anchor); }, timeout);
}

// The tile with that title where the Dock has it now: the Dock makes room for a running program's
// own tile.
inline std::optional<DockItemInfo> tileOf(const QString &title)
{
    for (const DockItemInfo &item : DockPositionResolver::readDockItems()) {
        if (item.title == title)
            return item;
    }
    return std::nullopt;
}

// A part of the screen as the user sees it.
inline QImage grabScreen(const QRect &area)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

// Waits until a window has faded in: its middle is no longer the empty screen behind it.
inline bool waitUntilDrawn(const QRect &window, int minimumLightness = 100, int timeout = roadTimeout)
{
    return QTest::qWaitFor([&] {
        const QImage image = grabScreen(window);
        return !image.isNull() && image.pixelColor(image.width() / 2, image.height() / 2).lightness() > minimumLightness;
    }, timeout);
}

// Waits until a popup has been drawn and has grown in to its full size: the card's edge, drawn at
// full size only, is at the panel's left edge; before that the card's surface is there.
inline bool waitUntilPopupGrown(const QRect &popup, int minimumLightness = 100, int timeout = roadTimeout)
{
    return QTest::qWaitFor([&] {
        const QImage image = grabScreen(popup);
        if (image.isNull() || image.pixelColor(image.width() / 2, image.height() / 2).lightness() <= minimumLightness)
            return false;
        return image.pixelColor(0, image.height() / 2) != image.pixelColor(image.width() / 2, image.height() - 6);
    }, timeout);
}

} // namespace ProgramWindows
