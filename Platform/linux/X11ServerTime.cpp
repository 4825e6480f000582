#include "Platform/linux/X11ServerTime.h"

#include "Platform/linux/X11Atoms.h"

#include <cstdlib>

X11ServerTime::~X11ServerTime()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

bool X11ServerTime::connect()
{
    if (m_connection && !xcb_connection_has_error(m_connection))
        return true;
    if (m_connection)
        xcb_disconnect(m_connection);
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return false;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    m_window = xcb_generate_id(m_connection);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    m_property = x11Atom(m_connection, "_KESTROWAN_SERVER_TIME");
    return true;
}

xcb_timestamp_t X11ServerTime::now()
{
    if (!connect())
        return XCB_CURRENT_TIME;
    // Appending nothing changes nothing but still makes the server report the change, with its time.
    xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, m_window, m_property, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(m_connection);
    // Nothing else is selected on this connection: the next event is that report (or the
    // connection has gone, and the server's own clock stands in).
    while (xcb_generic_event_t *event = xcb_wait_for_event(m_connection)) {
        const bool report = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY;
        const xcb_timestamp_t time = report ? reinterpret_cast<xcb_property_notify_event_t *>(event)->time : 0;
        std::free(event);
        if (report)
            return time;
    }
    return XCB_CURRENT_TIME;
}
