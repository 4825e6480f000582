#include "Platform/KeyboardFocus.h"

#include "Platform/linux/X11Atoms.h"
#include "Platform/linux/X11Connection.h"
#include "Platform/linux/X11ServerTime.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <cstdlib>
#include <optional>

namespace {

// The server's clock, asked over a connection of its own, kept as long as the application.
class ServerClock final : public QObject {
public:
    using QObject::QObject;
    X11ServerTime time;
};

X11ServerTime *serverClock()
{
    static QPointer<ServerClock> clock;
    if (!clock && QCoreApplication::instance())
        clock = new ServerClock(QCoreApplication::instance());
    return clock ? &clock->time : nullptr;
}

xcb_window_t windowProperty(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property)
{
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, XCB_ATOM_WINDOW, 0, 1), nullptr);
    xcb_window_t value = XCB_WINDOW_NONE;
    if (reply && reply->type == XCB_ATOM_WINDOW && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        value = *static_cast<const xcb_window_t *>(xcb_get_property_value(reply));
    std::free(reply);
    return value;
}

// Whether a window manager runs that hands out the focus on request: its check window names
// itself (a manager that has gone leaves the root's note behind) and it lists the request.
bool windowManagerActivates(xcb_connection_t *c, xcb_window_t root)
{
    const xcb_atom_t check = x11Atom(c, "_NET_SUPPORTING_WM_CHECK");
    const xcb_window_t manager = windowProperty(c, root, check);
    if (manager == XCB_WINDOW_NONE || windowProperty(c, manager, check) != manager)
        return false;
    const xcb_atom_t active = x11Atom(c, "_NET_ACTIVE_WINDOW");
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, x11Atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 4096), nullptr);
    bool listed = false;
    if (reply && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
        const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / 4;
        for (int i = 0; i < count && !listed; ++i)
            listed = atoms[i] == active;
    }
    std::free(reply);
    return listed;
}

// Where the window system sends the keys now; nullopt without an X server.
std::optional<xcb_window_t> focusWindow()
{
    xcb_connection_t *c = qtX11Connection();
    if (!c)
        return std::nullopt;
    xcb_get_input_focus_reply_t *reply = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    if (!reply)
        return std::nullopt;
    const xcb_window_t focus = reply->focus;
    std::free(reply);
    return focus;
}

bool isViewable(xcb_connection_t *c, xcb_window_t window)
{
    xcb_get_window_attributes_reply_t *attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    return viewable;
}

} // namespace

void KeyboardFocus::take(QWidget *window)
{
    if (!window || !window->isVisible())
        return;
    xcb_connection_t *c = qtX11Connection();
    X11ServerTime *clock = c ? serverClock() : nullptr;
    // Away from X11 the toolkit's activation is the whole of it. On X11 the toolkit is not asked:
    // for a window not yet mapped it would ask for the focus later, once the server reports the
    // window mapped, with its own stale time, and take the keyboard from whatever has it by then
    // (a popup brought up meanwhile). Its idea of the active window follows from the focus the
    // server reports.
    if (!clock) {
        window->activateWindow();
        return;
    }
    const xcb_timestamp_t time = clock->now();
    const auto id = xcb_window_t(window->winId());
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    if (windowManagerActivates(c, root)) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = id;
        message.type = x11Atom(c, "_NET_ACTIVE_WINDOW");
        message.data.data32[0] = 1; // asked by the application itself
        message.data.data32[1] = time;
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&message));
    } else if (isViewable(c, id)) {
        // Without a manager the window was mapped by an earlier request of this same connection.
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, id, time);
    }
    xcb_flush(c);
}

QWidget *KeyboardFocus::holder()
{
    const std::optional<xcb_window_t> focus = focusWindow();
    if (!focus)
        return QApplication::activeWindow();
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->internalWinId() == WId(*focus))
            return window;
    }
    return nullptr;
}

bool KeyboardFocus::isUnclaimed()
{
    const std::optional<xcb_window_t> focus = focusWindow();
    if (!focus)
        return !QApplication::activeWindow();
    xcb_connection_t *c = qtX11Connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    return *focus == XCB_NONE || *focus == XCB_INPUT_FOCUS_POINTER_ROOT || *focus == root;
}
