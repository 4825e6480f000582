#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>

class KeyboardShortcutService;
class ShortcutStateStore;

// What the hover service asks of the popup: show one group beside an anchor, hide it, and tell
// whether it shows and where the pointer is. Rectangles and points are in the bottom-left-origin
// global space. The popup window controller implements it.
class PopupPresenter {
public:
    virtual ~PopupPresenter() = default;

    // Shows the group beside `anchor` with content of its own (no search, focus or rename carried
    // over); `onEdit` is called with the group's id when the user asks to edit it from the popup.
    virtual void showPopup(const AppGroup &group, std::function<void(const QUuid &)> onEdit, const QRectF &anchor) = 0;
    virtual void dismissPopup() = 0;
    virtual bool isShowing() const = 0;
    // Lenient: any point during the popup's first moments, then the panel and a margin around it.
    virtual bool isMouseInsidePopup(const QPointF &point) const = 0;
    // Milliseconds left of those first moments; 0 once they are over or while nothing shows.
    virtual int showGraceRemaining() const = 0;
    // The panel's frame; empty while hidden.
    virtual QRectF frame() const = 0;

    // The services the popup reads (the opened state of items, a group's hot-key text).
    virtual void setShortcutStateStore(ShortcutStateStore *store) = 0;
    virtual void setKeyboardShortcutService(KeyboardShortcutService *service) = 0;

    // Set by the owner: the user renamed a group in the popup (the name is trimmed, never empty).
    std::function<void(const QUuid &, const QString &)> onRenameGroup;
    // Set by the owner: the pointer has left the panel.
    std::function<void()> onMouseExited;
    // Set by the owner: a press at this point is the owner's to handle (a click on a group's Dock
    // tile that the owner holds back), not a click outside the popup.
    std::function<bool(const QPointF &point)> ignoresPressAt;
};
