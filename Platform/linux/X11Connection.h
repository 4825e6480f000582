#pragma once

#include <xcb/xcb.h>

// The X11 connection Qt opened for this process; nullptr on any other display server or headless.
xcb_connection_t *qtX11Connection();
