#pragma once

#include <xcb/xcb.h>

// The atom of `name` on the connection, interned if need be; XCB_ATOM_NONE when the server refuses.
xcb_atom_t x11Atom(xcb_connection_t *connection, const char *name);
