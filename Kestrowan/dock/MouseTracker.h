#pragma once

#include "Kestrowan/dock/DockItemInfo.h"
#include "Kestrowan/dock/EventTapHandle.h"
#include "Kestrowan/dock/HoverTuning.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

// Follows the pointer through a listen-only tap and reports when a group's Dock tile becomes
// hovered (at once) and when the pointer has stayed away from the Dock long enough (after a grace
// period). Moves are coalesced: however many arrive while one is being looked into, the next look
// is made once, at the pointer's latest place.
class MouseTracker final : public QObject {
    Q_OBJECT
public:
    explicit MouseTracker(QObject *parent = nullptr);

    std::function<void(const DockItemInfo &)> onHoverDockItem;
    std::function<void()> onLeaveDockItem;
    std::function<bool()> isPopupShowing;
    // Whether the popup counts the pointer as its own (over the panel, the room around it, or
    // anywhere while the popup is new).
    std::function<bool()> isMouseInsidePopup;
    std::function<std::optional<DockItemInfo>()> selectedDockItem;

    EventTapHandle tapHandle;
    QSet<QString> trackedNames;
    QSet<QString> trackedPaths;

    void startTracking(const QSet<QString> &names, const QSet<QString> &paths);
    void stopTracking();
    // Forgets the hovered tile, so that the next move over a tile reports it again.
    void resetHoverState();
    // Takes `item` as the hovered tile without reporting it: the owner shows its popup already.
    void adoptHoveredItem(const DockItemInfo &item);

    // One pointer move, looked into now.
    void handleMouseMoved();

    std::optional<QString> currentHoveredItemKey() const { return m_currentHoveredItemKey; }
    bool isLeaveGraceRunning() const { return m_grace == Grace::Running; }

    static std::optional<QString> hoverKey(const std::optional<DockItemInfo> &item);
    bool isTrackedItem(const DockItemInfo &item) const;

private:
    enum class Grace { Idle, Running, Expired };

    void moveSeen();
    std::optional<DockItemInfo> currentSelectedTrackedItem(bool showing) const;
    std::optional<DockItemInfo> resolveHoveredItem(bool showing, const QPointF &quartzPoint) const;
    void reportHover(const DockItemInfo &item);
    void setHoveredItemKey(const std::optional<QString> &key);
    void startLeaveGrace(double delay);
    void cancelLeaveGrace();
    void graceEnded();

    std::optional<QString> m_currentHoveredItemKey;
    QTimer m_leaveGraceTimer;
    Grace m_grace = Grace::Idle;
    bool m_moveQueued = false;
};
