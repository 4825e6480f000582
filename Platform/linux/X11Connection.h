#pragma once

#include <QByteArray>

#include <xcb/xcb.h>

// The X11 connection Qt opened for this process; nullptr on any other display server or headless.
xcb_connection_t *qtX11Connection();
// The atom of `name`, made when missing; XCB_ATOM_NONE when the server does not answer.
xcb_atom_t internX11Atom(xcb_connection_t *connection, const QByteArray &name);
