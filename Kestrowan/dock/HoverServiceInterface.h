#pragma once

#include "Kestrowan/dock/InteractionMode.h"
#include "Kestrowan/groups/AppGroup.h"

#include <QObject>
#include <QRectF>
#include <QUuid>

#include <functional>
#include <memory>

class GroupManager;
class KeyboardShortcutServiceInterface;
class PermissionManagerInterface;
class PopupPresenter;
class ShortcutStateStoreInterface;

// Ties Dock hovers, Dock clicks and hot keys to the popup. The shell creates it once, sets its mode
// from the settings and the permission, and shows a group's popup when a hot key is pressed.
class HoverServiceInterface : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual InteractionMode mode() const = 0;
    // Stores the mode and (re)starts tracking when Accessibility access is granted; stops otherwise.
    virtual void setMode(InteractionMode mode) = 0;
    // Ends all Dock watching and hides the popup; with `resetMode` the mode becomes none.
    virtual void stopHoverTracking(bool resetMode) = 0;
    // After the groups changed: rebuilds what is tracked when the service is active.
    virtual void refreshTracking() = 0;
    // `anchor` in global screen coordinates with the origin at the bottom left.
    virtual void showPopupForGroup(const AppGroup &group, const QRectF &anchor) = 0;

    // Called when the user asks, from the popup, to edit a group.
    std::function<void(const QUuid &groupID)> onRequestEditGroup;

signals:
    // Only when the mode really changes.
    void modeChanged(InteractionMode mode);
};

// Starts with mode none, inactive, no popup group; watches nothing by itself. `popup` is the popup it
// shows and hides.
std::unique_ptr<HoverServiceInterface> makeHoverService(GroupManager &groupManager,
                                                        PermissionManagerInterface &permissionManager,
                                                        ShortcutStateStoreInterface &shortcutStateStore,
                                                        KeyboardShortcutServiceInterface &keyboardShortcutService,
                                                        std::unique_ptr<PopupPresenter> popup);
