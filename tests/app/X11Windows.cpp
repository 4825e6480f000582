#include "tests/app/X11Windows.h"

#include "Platform/linux/X11Atoms.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

QByteArray property(xcb_connection_t *c, xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, 1024), nullptr);
    QByteArray value;
    if (reply)
        value = QByteArray(static_cast<const char *>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
    std::free(reply);
    return value;
}

} // namespace

X11Windows::X11Windows(const QByteArray &display)
{
    xcb_connection_t *c = xcb_connect(display.isEmpty() ? nullptr : display.constData(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    m_connection = c;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

X11Windows::~X11Windows()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

QList<X11Windows::Window> X11Windows::all()
{
    QList<Window> windows;
    if (m_connection)
        collect(m_root, 0, QPoint(0, 0), windows);
    return windows;
}

void X11Windows::collect(quint32 window, quint32 parent, const QPoint &origin, QList<Window> &out)
{
    xcb_connection_t *c = m_connection;
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
    if (!tree)
        return;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    const int count = xcb_query_tree_children_length(tree);
    const xcb_atom_t utf8 = x11Atom(c, "UTF8_STRING");
    const xcb_atom_t netName = x11Atom(c, "_NET_WM_NAME");
    const xcb_atom_t netPid = x11Atom(c, "_NET_WM_PID");
    for (int i = 0; i < count; ++i) {
        Window info;
        info.id = children[i];
        info.parent = window;
        QByteArray name = property(c, children[i], netName, utf8);
        if (name.isEmpty())
            name = property(c, children[i], XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
        info.name = QString::fromUtf8(name);
        const QByteArray pid = property(c, children[i], netPid, XCB_ATOM_CARDINAL);
        if (pid.size() >= 4)
            info.pid = *reinterpret_cast<const quint32 *>(pid.constData());
        if (xcb_get_window_attributes_reply_t *attributes =
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr)) {
            info.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            info.overrideRedirect = attributes->override_redirect;
            std::free(attributes);
        }
        if (xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, children[i]), nullptr)) {
            info.geometry = QRect(origin + QPoint(geometry->x, geometry->y), QSize(geometry->width, geometry->height));
            std::free(geometry);
        }
        out.append(info);
        collect(children[i], window, info.geometry.topLeft(), out);
    }
    Q_UNUSED(parent);
    std::free(tree);
}

void X11Windows::requestClose(quint32 window)
{
    xcb_connection_t *c = m_connection;
    if (!c)
        return;
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = x11Atom(c, "WM_PROTOCOLS");
    event.data.data32[0] = x11Atom(c, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event));
    xcb_flush(c);
}

quint32 X11Windows::inputFocus()
{
    if (!m_connection)
        return 0;
    xcb_get_input_focus_reply_t *reply = xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr);
    const quint32 focus = reply ? reply->focus : 0;
    std::free(reply);
    return focus;
}

std::optional<X11Windows::Window> X11Windows::statusItemOf(qint64 pid)
{
    const QList<Window> windows = all();
    quint32 strip = 0;
    for (const Window &window : windows) {
        if (window.name == QLatin1String("Menu Bar"))
            strip = window.id;
    }
    for (const Window &window : windows) {
        if (strip && window.parent == strip && window.pid == pid && window.viewable)
            return window;
    }
    return std::nullopt;
}

std::optional<X11Windows::Window> X11Windows::shownMenuOf(qint64 pid)
{
    for (const Window &window : all()) {
        if (window.pid == pid && window.overrideRedirect && window.viewable && window.geometry.height() > 60)
            return window;
    }
    return std::nullopt;
}
