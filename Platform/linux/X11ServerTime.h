#pragma once

#include <xcb/xcb.h>

// The X server's clock as it stands now, read over a connection of this object's own: a change of a
// property of a small unmapped window of its own, whose notification carries the server's time.
// Requests that the server orders by time (taking the input focus) need a time no older than the
// last change they compete with; the last event a program happened to read may be far older.
class X11ServerTime {
public:
    X11ServerTime() = default;
    ~X11ServerTime();
    X11ServerTime(const X11ServerTime &) = delete;
    X11ServerTime &operator=(const X11ServerTime &) = delete;

    // The server's time now; XCB_CURRENT_TIME when there is no X server to ask.
    xcb_timestamp_t now();

private:
    bool connect();

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    xcb_atom_t m_property = XCB_ATOM_NONE;
};
