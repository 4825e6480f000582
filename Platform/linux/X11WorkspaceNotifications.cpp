#include "Platform/linux/X11WorkspaceNotifications.h"

#include "Platform/linux/X11Atoms.h"
#include "Platform/linux/X11Connection.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

int clientCount(xcb_connection_t *c, quint32 root, quint32 clientList)
{
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, clientList, XCB_ATOM_WINDOW, 0, 4096), nullptr);
    const int count = reply ? xcb_get_property_value_length(reply) / 4 : 0;
    std::free(reply);
    return count;
}

} // namespace

X11WorkspaceNotifications::X11WorkspaceNotifications()
{
    xcb_connection_t *c = qtX11Connection();
    if (!c)
        return;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    m_clientList = x11Atom(c, "_NET_CLIENT_LIST");
    m_activeWindow = x11Atom(c, "_NET_ACTIVE_WINDOW");
    m_windowState = x11Atom(c, "_NET_WM_STATE");
    m_clientCount = clientCount(c, m_root, m_clientList);
    // Qt already listens to the root window's property changes; this only reads them too.
    qGuiApp->installNativeEventFilter(this);
}

X11WorkspaceNotifications::~X11WorkspaceNotifications()
{
    if (qGuiApp && m_root)
        qGuiApp->removeNativeEventFilter(this);
}

bool X11WorkspaceNotifications::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || !m_root)
        return false;
    const auto *event = static_cast<xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto *property = reinterpret_cast<const xcb_property_notify_event_t *>(event);
    if (property->window == m_root && property->atom == m_clientList) {
        const int count = clientCount(qtX11Connection(), m_root, m_clientList);
        const Kind kind = count < m_clientCount ? Kind::DidTerminateApplication : Kind::DidLaunchApplication;
        m_clientCount = count;
        emit applicationNotification(kind);
    } else if (property->window == m_root && property->atom == m_activeWindow) {
        emit applicationNotification(Kind::DidActivateApplication);
    } else if (property->atom == m_windowState && property->window != m_root) {
        // Which way it went would take another read; the listeners read the whole state anyway.
        emit applicationNotification(Kind::DidHideApplication);
    }
    return false;
}
