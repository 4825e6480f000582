#include "Kestrowan/dock/MouseTracker.h"

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/Screens.h"

#include <QPointer>

namespace {

constexpr qreal pointSearchTolerance = 12;

} // namespace

MouseTracker::MouseTracker(QObject *parent)
    : QObject(parent)
{
    m_leaveGraceTimer.setSingleShot(true);
    connect(&m_leaveGraceTimer, &QTimer::timeout, this, &MouseTracker::graceEnded);
}

std::optional<QString> MouseTracker::hoverKey(const std::optional<DockItemInfo> &item)
{
    if (!item)
        return std::nullopt;
    if (item->url) {
        const QString path = standardizedFilePath(*item->url);
        if (!path.isEmpty())
            return QStringLiteral("url:") + path;
    }
    if (!item->title.isEmpty())
        return QStringLiteral("title:") + item->title;
    return QStringLiteral("frame:") + truncatedFrameText(item->frame);
}

bool MouseTracker::isTrackedItem(const DockItemInfo &item) const
{
    return trackedNames.contains(item.title) || (item.url && trackedPaths.contains(standardizedFilePath(*item.url)));
}

void MouseTracker::startTracking(const QSet<QString> &names, const QSet<QString> &paths)
{
    trackedNames = names;
    trackedPaths = paths;
    // A tap in place stays, as the click tap does: a pointer move in the moment a new one took to
    // be in place would go unseen; one on its way back to a new Dock comes back by itself.
    if (const EventTap *tap = tapHandle.tap(); tap && tap->isEnabled()) {
        resetHoverState();
        return;
    }
    stopTracking();
    tapHandle.adopt(EventTaps::shared().createTap(
        CGEventTapLocation::Session, CGEventTapPlacement::TailAppend, CGEventTapOptions::ListenOnly,
        eventMaskBit(CGEventType::MouseMoved), [this](CGEventType type, const CGEvent &) {
            if (type == CGEventType::TapDisabledByTimeout || type == CGEventType::TapDisabledByUserInput) {
                qCWarning(interactionLogger, "The pointer tap was disabled by the system; enabling it again");
                if (EventTap *tap = tapHandle.tap())
                    tap->setEnabled(true);
            } else if (type == CGEventType::MouseMoved) {
                moveSeen();
            }
            return EventTapVerdict::Pass;
        }));
}

void MouseTracker::stopTracking()
{
    tapHandle.stopEventTap();
    resetHoverState();
}

void MouseTracker::resetHoverState()
{
    cancelLeaveGrace();
    setHoveredItemKey(std::nullopt);
}

void MouseTracker::adoptHoveredItem(const DockItemInfo &item)
{
    setHoveredItemKey(hoverKey(item));
}

void MouseTracker::setHoveredItemKey(const std::optional<QString> &key)
{
    if (key == m_currentHoveredItemKey)
        return;
    m_currentHoveredItemKey = key;
    // Whether a tile counts as hovered decides whether coming to it opens a popup: worth a line
    // when a popup did not come.
    if (key)
        qCDebug(interactionLogger, "Hovered tile: %s", qPrintable(loggedText(*key)));
    else
        qCDebug(interactionLogger, "No tile hovered");
}

void MouseTracker::moveSeen()
{
    // The look at the Dock waits for the Dock's answers; moves that come meanwhile are summed up in
    // one look at where the pointer is by then.
    if (m_moveQueued)
        return;
    m_moveQueued = true;
    const QPointer<MouseTracker> self(this);
    QMetaObject::invokeMethod(this, [self] {
        if (!self)
            return;
        self->m_moveQueued = false;
        if (self->tapHandle.isRunning())
            self->handleMouseMoved();
    }, Qt::QueuedConnection);
}

std::optional<DockItemInfo> MouseTracker::currentSelectedTrackedItem(bool showing) const
{
    if (!showing && !m_currentHoveredItemKey)
        return std::nullopt;
    if (!selectedDockItem)
        return std::nullopt;
    std::optional<DockItemInfo> selected = selectedDockItem();
    if (selected && isTrackedItem(*selected))
        return selected;
    return std::nullopt;
}

std::optional<DockItemInfo> MouseTracker::resolveHoveredItem(bool showing, const QPointF &quartzPoint) const
{
    if (!showing && !m_currentHoveredItemKey)
        return std::nullopt;
    QList<DockItemInfo> tracked;
    for (const DockItemInfo &item : DockPositionResolver::readDockItems()) {
        if (isTrackedItem(item))
            tracked.append(item);
    }
    if (tracked.size() < 2)
        return std::nullopt;
    return DockPositionResolver::hitTestDockItem(tracked, DockPositionResolver::currentDockPosition(), quartzPoint);
}

void MouseTracker::handleMouseMoved()
{
    const QPointF p = Screens::shared().mouseLocation();
    const QPointF q = DockPositionResolver::convertAppKitPointToQuartz(p);
    const HoverTuning tuning = HoverTuning::current();

    const std::optional<DockItemInfo> underPointer = DockPositionResolver::dockItemUnderPoint(q, pointSearchTolerance);
    const bool showing = isPopupShowing && isPopupShowing();
    std::optional<DockItemInfo> candidate = resolveHoveredItem(showing, q);
    if (!candidate)
        candidate = currentSelectedTrackedItem(showing);

    const std::optional<DockItemInfo> tile = candidate ? candidate : underPointer;
    if (showing) {
        // The tracker only follows the pointer from group tile to group tile here: whether the
        // popup goes is for the owner and the popup to say, by the panel and the room around it.
        if (tile && isTrackedItem(*tile) && hoverKey(tile) != m_currentHoveredItemKey)
            reportHover(*tile);
        cancelLeaveGrace();
        return;
    }

    if (tile && isTrackedItem(*tile)
        && (m_currentHoveredItemKey || rectContainsPoint(DockPositionResolver::hitRect(tile->frame), q))) {
        cancelLeaveGrace();
        if (hoverKey(tile) != m_currentHoveredItemKey)
            reportHover(*tile);
        return;
    }

    const QRectF zone = HoverTuning::dockZoneRect(DockPositionResolver::dockFrame(), DockPositionResolver::currentDockPosition(),
                                                  tuning.edgeMargin, tuning.interiorMargin);
    if (!rectContainsPoint(zone, p)) {
        startLeaveGrace(tuning.graceDelay);
        return;
    }
    cancelLeaveGrace();
    if (underPointer && isTrackedItem(*underPointer)
        && (m_currentHoveredItemKey || rectContainsPoint(DockPositionResolver::hitRect(underPointer->frame), q))) {
        if (hoverKey(underPointer) != m_currentHoveredItemKey)
            reportHover(*underPointer);
        return;
    }
    startLeaveGrace(tuning.graceDelay);
}

void MouseTracker::reportHover(const DockItemInfo &item)
{
    setHoveredItemKey(hoverKey(item));
    if (onHoverDockItem)
        onHoverDockItem(item);
}

void MouseTracker::startLeaveGrace(double delay)
{
    // A running grace is not restarted by further moves; one that expired over the popup is, since
    // the pointer has left the popup since.
    if (!m_currentHoveredItemKey || m_grace == Grace::Running)
        return;
    m_grace = Grace::Running;
    m_leaveGraceTimer.start(std::max(1, int(delay * 1000 + 0.5)));
}

void MouseTracker::cancelLeaveGrace()
{
    m_leaveGraceTimer.stop();
    m_grace = Grace::Idle;
}

void MouseTracker::graceEnded()
{
    if (isMouseInsidePopup && isMouseInsidePopup()) {
        // Stays expired until a later move clears it: the pointer is the popup's, which decides.
        m_grace = Grace::Expired;
        return;
    }
    m_grace = Grace::Idle;
    setHoveredItemKey(std::nullopt);
    if (onLeaveDockItem)
        onLeaveDockItem();
}
