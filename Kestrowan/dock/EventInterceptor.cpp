#include "Kestrowan/dock/EventInterceptor.h"

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/shell/Log.h"

#include <QPointer>

namespace {

constexpr qreal dockBandMargin = 6;
constexpr qreal pointSearchTolerance = 8;
const QString applicationSubrole = QStringLiteral("AXApplicationDockItem");

qreal squaredDistance(const QPointF &a, const QPointF &b)
{
    const QPointF d = a - b;
    return d.x() * d.x() + d.y() * d.y();
}

bool insideDockBand(const QPointF &appKitPoint)
{
    const QRectF band = DockPositionResolver::dockFrame().adjusted(-dockBandMargin, -dockBandMargin, dockBandMargin,
                                                                   dockBandMargin);
    return rectContainsPoint(band, appKitPoint);
}

} // namespace

EventInterceptor::EventInterceptor(QObject *parent)
    : QObject(parent)
{
}

void EventInterceptor::startEventTap(const QSet<QString> &names, const QSet<QString> &paths)
{
    trackedNames = names;
    trackedPaths = paths;
    // A tap in place stays: the taps belong to the event stream, not to the Dock, and one made
    // afresh takes a moment to be in place, in which a click on a group's tile would reach the Dock
    // (the mode is applied again as a restarted Dock takes its screen area). It saw every event, so
    // the press it holds still meets its release: the mode is applied again as the copy of a new
    // Dock's tiles comes in, which may fall between the two. One on its way back to a new Dock stays
    // too: it comes back by itself, and a tap made afresh beside it would leave the Dock to act on
    // an event the one it replaces was asked about.
    if (const EventTap *tap = tapHandle.tap(); tap && tap->isEnabled())
        return;
    // A release missed while no tap ran must not be matched with a press from before.
    pendingClick.reset();
    swallowedDown.reset();
    // Replaced, not taken out: a click in the moment before the new tap is in place waits for it.
    tapHandle.replace(EventTaps::shared().createTap(CGEventTapLocation::HID, CGEventTapPlacement::HeadInsert,
                                                  CGEventTapOptions::Default, eventMask,
                                                  [this](CGEventType type, const CGEvent &event) {
                                                      return handleEvent(type, event);
                                                  }));
}

EventTapVerdict EventInterceptor::handleEvent(CGEventType type, const CGEvent &event)
{
    if (type == CGEventType::TapDisabledByTimeout || type == CGEventType::TapDisabledByUserInput) {
        tapWasDisabled(type);
        return EventTapVerdict::Pass;
    }
    if (event.integerValueField(CGEventField::EventSourceUserData) == syntheticEventMarker)
        return EventTapVerdict::Pass;
    const QPointF q = event.location;
    switch (type) {
    case CGEventType::LeftMouseDown:
        return pressRule(q, DockPositionResolver::convertQuartzPointToAppKit(q));
    case CGEventType::LeftMouseUp:
        return releaseRule(q, DockPositionResolver::convertQuartzPointToAppKit(q));
    case CGEventType::LeftMouseDragged:
        dragRule(q);
        return EventTapVerdict::Pass;
    case CGEventType::RightMouseDown:
    case CGEventType::RightMouseUp:
    case CGEventType::OtherMouseDown:
    case CGEventType::OtherMouseUp:
    case CGEventType::Gesture:
        return secondaryRule(DockPositionResolver::convertQuartzPointToAppKit(q));
    default:
        return EventTapVerdict::Pass;
    }
}

void EventInterceptor::tapWasDisabled(CGEventType notice)
{
    qCWarning(interactionLogger, "The Dock click tap was disabled by the system (%s); enabling it again",
              notice == CGEventType::TapDisabledByTimeout ? "timeout" : "user input");
    if (EventTap *tap = tapHandle.tap())
        tap->setEnabled(true);
    // A press whose release the disabled tap missed must not decide a later release.
    pendingClick.reset();
    swallowedDown.reset();
    if (onTapDisabled) {
        const QPointer<EventInterceptor> self(this);
        QMetaObject::invokeMethod(this, [self] {
            if (self && self->onTapDisabled)
                self->onTapDisabled();
        }, Qt::QueuedConnection);
    }
}

std::optional<DockItemInfo> EventInterceptor::tileUnderPointer(const QPointF &quartzPoint, const QPointF &appKitPoint) const
{
    if (!insideDockBand(appKitPoint))
        return std::nullopt;
    return DockPositionResolver::dockItemUnderPoint(quartzPoint, pointSearchTolerance);
}

bool EventInterceptor::interceptsDockItem(const DockItemInfo &item) const
{
    if (shouldInterceptDockItem)
        return shouldInterceptDockItem(item);
    if (item.url)
        return trackedPaths.contains(standardizedFilePath(*item.url));
    return item.subrole == applicationSubrole && trackedNames.contains(item.title);
}

bool EventInterceptor::isSameDockItem(const DockItemInfo &first, const DockItemInfo &second)
{
    if (first.url && second.url)
        return standardizedFilePath(*first.url) == standardizedFilePath(*second.url);
    return first.subrole == applicationSubrole && second.subrole == applicationSubrole && first.title == second.title;
}

EventTapVerdict EventInterceptor::pressRule(const QPointF &quartzPoint, const QPointF &appKitPoint)
{
    // Every press starts afresh: whatever an earlier press left behind (its release may never have
    // come) has no say over this one.
    pendingClick.reset();
    swallowedDown.reset();
    const std::optional<DockItemInfo> tile = tileUnderPointer(quartzPoint, appKitPoint);
    if (!tile || !interceptsDockItem(*tile)) {
        // What the program saw of the Dock when it let a press on the bar go: a press on a group's
        // tile that reached the Dock is traced back by it.
        if (insideDockBand(appKitPoint))
            qCDebug(interactionLogger, "A press at %g,%g went to the Dock (process %lld): %s", quartzPoint.x(), quartzPoint.y(),
                    qlonglong(DockPositionResolver::dockProcessID().value_or(0)),
                    tile ? qPrintable(QStringLiteral("not a group's tile: ") + tile->title) : "no tile under it");
        return EventTapVerdict::Pass;
    }
    if (shouldSwallowMouseDownDockItem && shouldSwallowMouseDownDockItem(*tile)) {
        swallowedDown = PendingClick{*tile, quartzPoint, false};
        return EventTapVerdict::Drop;
    }
    pendingClick = PendingClick{*tile, quartzPoint, false};
    return EventTapVerdict::Pass;
}

// A press moved far enough is a drag, once it has left its tile: the Dock takes a press and a
// release on one tile for a click however far apart, so a hand that slips within the tile still
// clicks, and that click is the program's.
bool EventInterceptor::isDrag(const PendingClick &press, const QPointF &quartzPoint)
{
    return squaredDistance(press.downPoint, quartzPoint) >= dragThreshold * dragThreshold
        && !rectContainsPoint(press.item.frame, quartzPoint);
}

void EventInterceptor::dragRule(const QPointF &quartzPoint)
{
    if (swallowedDown) {
        if (!isDrag(*swallowedDown, quartzPoint))
            return;
        const QPointF downPoint = swallowedDown->downPoint;
        swallowedDown.reset();
        CGEvent press = CGEvent::mouseEvent(CGEventType::LeftMouseDown, downPoint, CGMouseButton::Left);
        press.setIntegerValueField(CGEventField::EventSourceUserData, syntheticEventMarker);
        EventTaps::shared().postEvent(CGEventTapLocation::HID, press);
        return;
    }
    if (pendingClick && isDrag(*pendingClick, quartzPoint))
        pendingClick->isDragging = true;
}

EventTapVerdict EventInterceptor::releaseRule(const QPointF &quartzPoint, const QPointF &appKitPoint)
{
    if (const std::optional<PendingClick> held = std::exchange(swallowedDown, std::nullopt)) {
        const std::optional<DockItemInfo> tile = tileUnderPointer(quartzPoint, appKitPoint);
        if (tile && isSameDockItem(held->item, *tile) && interceptsDockItem(*tile))
            reportClick(*tile);
        // The Dock never saw this press, so it must not see its release either.
        return EventTapVerdict::Drop;
    }
    const std::optional<PendingClick> passed = std::exchange(pendingClick, std::nullopt);
    if (!passed || passed->isDragging)
        return EventTapVerdict::Pass;
    const std::optional<DockItemInfo> tile = tileUnderPointer(quartzPoint, appKitPoint);
    if (tile && isSameDockItem(passed->item, *tile) && interceptsDockItem(*tile))
        reportClick(*tile);
    // The Dock saw the press: withholding the release would leave it holding a button that is up.
    return EventTapVerdict::Pass;
}

EventTapVerdict EventInterceptor::secondaryRule(const QPointF &appKitPoint)
{
    if (!insideDockBand(appKitPoint))
        return EventTapVerdict::Pass;
    const QPointF quartzPoint = DockPositionResolver::convertAppKitPointToQuartz(appKitPoint);
    const std::optional<DockItemInfo> tile = DockPositionResolver::dockItemUnderPoint(quartzPoint, pointSearchTolerance);
    return tile && interceptsDockItem(*tile) ? EventTapVerdict::Drop : EventTapVerdict::Pass;
}

void EventInterceptor::reportClick(const DockItemInfo &item)
{
    const QPointer<EventInterceptor> self(this);
    QMetaObject::invokeMethod(this, [self, item] {
        if (self && self->onClickDockItem)
            self->onClickDockItem(item);
    }, Qt::QueuedConnection);
}
