#include "Platform/dockstandin/X11Struts.h"

#include "Platform/linux/X11Atoms.h"
#include "Platform/linux/X11Connection.h"

#include <QGuiApplication>
#include <QScreen>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace {

bool publishedWorkArea = false;
int menuBarHeight = 0;

xcb_window_t rootWindow(xcb_connection_t *c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

} // namespace

bool X11Struts::windowManagerRunning()
{
    xcb_connection_t *c = qtX11Connection();
    if (!c)
        return false;
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, rootWindow(c), x11Atom(c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0, 1), nullptr);
    const bool running = reply && xcb_get_property_value_length(reply) >= 4
        && *static_cast<const xcb_window_t *>(xcb_get_property_value(reply)) != XCB_WINDOW_NONE;
    std::free(reply);
    return running;
}

void X11Struts::reserve(QWidget *bar, const QString &orientation, const QRect &band, const QRect &screen)
{
    xcb_connection_t *c = qtX11Connection();
    if (!c || !bar)
        return;
    const QRect root = QGuiApplication::primaryScreen()->virtualGeometry();
    // left, right, top, bottom, left_start_y, left_end_y, right_start_y, right_end_y,
    // top_start_x, top_end_x, bottom_start_x, bottom_end_x
    uint32_t strut[12] = {};
    QRect workArea = root;
    workArea.setTop(root.top() + menuBarHeight);
    if (!band.isEmpty()) {
        if (orientation == QLatin1String("left")) {
            strut[0] = uint32_t(band.right() + 1 - root.left());
            strut[4] = uint32_t(screen.top());
            strut[5] = uint32_t(screen.bottom());
            workArea.setLeft(band.right() + 1);
        } else if (orientation == QLatin1String("right")) {
            strut[1] = uint32_t(root.right() + 1 - band.left());
            strut[6] = uint32_t(screen.top());
            strut[7] = uint32_t(screen.bottom());
            workArea.setRight(band.left() - 1);
        } else {
            strut[3] = uint32_t(root.bottom() + 1 - band.top());
            strut[10] = uint32_t(screen.left());
            strut[11] = uint32_t(screen.right());
            workArea.setBottom(band.top() - 1);
        }
    }
    const xcb_window_t window = xcb_window_t(bar->winId());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, x11Atom(c, "_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32, 12, strut);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, x11Atom(c, "_NET_WM_STRUT"), XCB_ATOM_CARDINAL, 32, 4, strut);
    if (!windowManagerRunning()) {
        const uint32_t area[4] = {uint32_t(workArea.x()), uint32_t(workArea.y()), uint32_t(workArea.width()),
                                  uint32_t(workArea.height())};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, rootWindow(c), x11Atom(c, "_NET_WORKAREA"), XCB_ATOM_CARDINAL, 32, 4, area);
        publishedWorkArea = true;
    }
    xcb_flush(c);
}

void X11Struts::setMenuBarHeight(int height)
{
    menuBarHeight = std::max(0, height);
}

void X11Struts::releaseWorkArea()
{
    xcb_connection_t *c = qtX11Connection();
    if (!c || !publishedWorkArea)
        return;
    xcb_delete_property(c, rootWindow(c), x11Atom(c, "_NET_WORKAREA"));
    xcb_flush(c);
    publishedWorkArea = false;
}
