#pragma once

#include "Kestrowan/dock/DockItemInfo.h"
#include "Kestrowan/dock/EventTapHandle.h"

#include <QObject>
#include <QPointF>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

// Stands in front of the Dock in the mouse-button stream. A press on a group's tile is held back
// (when the owner asks) and, released on the same tile, reported as a click that the Dock never
// sees; a held press that moves far enough and off its tile is handed back to the Dock as a marked
// press, so the Dock performs its own drag. Secondary-button and gesture events over group tiles are dropped.
class EventInterceptor final : public QObject {
    Q_OBJECT
public:
    struct PendingClick {
        DockItemInfo item;
        QPointF downPoint; // quartz
        bool isDragging = false;
    };

    static constexpr qint64 syntheticEventMarker = 0x4B535457;
    static constexpr qreal dragThreshold = 6.0;
    static constexpr quint64 eventMask = 0x2600005E;

    explicit EventInterceptor(QObject *parent = nullptr);

    std::function<void(const DockItemInfo &)> onClickDockItem;
    std::function<bool(const DockItemInfo &)> shouldInterceptDockItem;
    std::function<bool(const DockItemInfo &)> shouldSwallowMouseDownDockItem;
    // Told when the system had switched the tap off (it is already switched on again).
    std::function<void()> onTapDisabled;

    EventTapHandle tapHandle;
    QSet<QString> trackedNames;
    QSet<QString> trackedPaths;
    std::optional<PendingClick> pendingClick;
    std::optional<PendingClick> swallowedDown;

    void startEventTap(const QSet<QString> &names, const QSet<QString> &paths);

    // The tap's decision for one event; public so that the decision can be examined on its own.
    EventTapVerdict handleEvent(CGEventType type, const CGEvent &event);

    bool interceptsDockItem(const DockItemInfo &item) const;
    static bool isSameDockItem(const DockItemInfo &first, const DockItemInfo &second);

private:
    std::optional<DockItemInfo> tileUnderPointer(const QPointF &quartzPoint, const QPointF &appKitPoint) const;
    EventTapVerdict pressRule(const QPointF &quartzPoint, const QPointF &appKitPoint);
    static bool isDrag(const PendingClick &press, const QPointF &quartzPoint);
    void dragRule(const QPointF &quartzPoint);
    EventTapVerdict releaseRule(const QPointF &quartzPoint, const QPointF &appKitPoint);
    EventTapVerdict secondaryRule(const QPointF &appKitPoint);
    void reportClick(const DockItemInfo &item);
    void tapWasDisabled(CGEventType notice);
};
