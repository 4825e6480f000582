#include "Platform/FloatingPanel.h"

#include <QGuiApplication>
#include <QWidget>

#include <QtGui/qguiapplication_platform.h>

#include "Platform/linux/X11Atoms.h"

void FloatingPanel::joinAllDesktops(QWidget *window)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c || !window)
        return;
    const auto id = xcb_window_t(window->winId());
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, x11Atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    const xcb_atom_t sticky = x11Atom(c, "_NET_WM_STATE_STICKY");
    const xcb_atom_t above = x11Atom(c, "_NET_WM_STATE_ABOVE");
    const xcb_atom_t states[2] = {sticky, above};
    xcb_change_property(c, XCB_PROP_MODE_APPEND, id, x11Atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 2, states);
    xcb_flush(c);
}
