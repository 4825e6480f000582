#include "Platform/dockstandin/TrayStrip.h"

#include "Platform/linux/X11Atoms.h"
#include "Platform/linux/X11Connection.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPainter>

#include <cstdlib>
#include <cstring>

namespace {

Q_LOGGING_CATEGORY(trayLog, "com.kestrowan.dock.tray")

constexpr quint32 requestDock = 0;
constexpr quint32 embeddedNotify = 0;

void sendClientMessage(xcb_connection_t *c, xcb_window_t destination, xcb_window_t window, xcb_atom_t type,
                       const quint32 (&data)[5], quint32 mask)
{
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::memcpy(event.data.data32, data, sizeof data);
    xcb_send_event(c, 0, destination, mask, reinterpret_cast<const char *>(&event));
}

} // namespace

TrayStrip::TrayStrip()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
{
    setAttribute(Qt::WA_X11NetWmWindowTypeDock);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Menu Bar"));
}

TrayStrip::~TrayStrip()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool TrayStrip::start(const QRect &screen)
{
    xcb_connection_t *c = qtX11Connection();
    if (!c)
        return false;
    m_selection = x11Atom(c, "_NET_SYSTEM_TRAY_S0");
    m_opcode = x11Atom(c, "_NET_SYSTEM_TRAY_OPCODE");
    m_xembed = x11Atom(c, "_XEMBED");
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_selection), nullptr);
    const bool taken = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    if (taken) {
        qCInfo(trayLog, "The display already has a system tray; no menu-bar strip");
        return false;
    }

    setGeometry(screen.left(), screen.top(), screen.width(), height);
    const xcb_window_t window = xcb_window_t(winId());
    // Docked icons without a visual of their own take their background from the strip.
    const uint32_t background = 0x1E1E22;
    xcb_change_window_attributes(c, window, XCB_CW_BACK_PIXEL, &background);
    const uint32_t orientation = 0; // horizontal
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, x11Atom(c, "_NET_SYSTEM_TRAY_ORIENTATION"),
                        XCB_ATOM_CARDINAL, 32, 1, &orientation);
    QCoreApplication::instance()->installNativeEventFilter(this);
    xcb_set_selection_owner(c, window, m_selection, XCB_CURRENT_TIME);
    owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_selection), nullptr);
    m_owner = owner && owner->owner == window;
    std::free(owner);
    if (!m_owner) {
        qCWarning(trayLog, "Could not take the system tray selection");
        QCoreApplication::instance()->removeNativeEventFilter(this);
        return false;
    }
    // Tell waiting tray clients that a tray is here.
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    sendClientMessage(c, root, root, x11Atom(c, "MANAGER"), {XCB_CURRENT_TIME, m_selection, window, 0, 0},
                      XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    xcb_flush(c);
    show();
    qCInfo(trayLog, "Menu-bar strip holds the system tray");
    return true;
}

bool TrayStrip::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || !m_owner)
        return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    switch (event->response_type & ~0x80) {
    case XCB_CLIENT_MESSAGE: {
        auto *client = reinterpret_cast<xcb_client_message_event_t *>(event);
        if (client->type == m_opcode && client->format == 32 && client->window == xcb_window_t(winId())
            && client->data.data32[1] == requestDock) {
            dock(client->data.data32[2]);
            return true;
        }
        break;
    }
    case XCB_DESTROY_NOTIFY:
        forget(reinterpret_cast<xcb_destroy_notify_event_t *>(event)->window);
        break;
    case XCB_UNMAP_NOTIFY:
        // An icon that hides itself leaves the strip; it docks again when it wants to show.
        if (m_icons.contains(reinterpret_cast<xcb_unmap_notify_event_t *>(event)->window))
            forget(reinterpret_cast<xcb_unmap_notify_event_t *>(event)->window);
        break;
    case XCB_REPARENT_NOTIFY: {
        auto *reparent = reinterpret_cast<xcb_reparent_notify_event_t *>(event);
        if (reparent->parent != xcb_window_t(winId()))
            forget(reparent->window);
        break;
    }
    default:
        break;
    }
    return false;
}

void TrayStrip::dock(quint32 icon)
{
    xcb_connection_t *c = qtX11Connection();
    if (!c || icon == XCB_WINDOW_NONE || m_icons.contains(icon))
        return;
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_void_cookie_t watched = xcb_change_window_attributes_checked(c, icon, XCB_CW_EVENT_MASK, &mask);
    if (xcb_generic_error_t *error = xcb_request_check(c, watched)) {
        std::free(error);
        return; // gone already
    }
    // Should the Dock end, the icon goes back to the root window instead of dying with the strip.
    xcb_change_save_set(c, XCB_SET_MODE_INSERT, icon);
    const uint32_t background = XCB_BACK_PIXMAP_PARENT_RELATIVE;
    xcb_change_window_attributes(c, icon, XCB_CW_BACK_PIXMAP, &background);
    xcb_reparent_window(c, icon, xcb_window_t(winId()), 0, 0);
    m_icons.append(icon);
    layoutIcons();
    sendClientMessage(c, icon, icon, m_xembed, {XCB_CURRENT_TIME, embeddedNotify, 0, quint32(winId()), 0}, 0);
    xcb_map_window(c, icon);
    xcb_flush(c);
    qCInfo(trayLog, "Docked tray icon 0x%x", icon);
}

void TrayStrip::forget(quint32 icon)
{
    if (m_icons.removeAll(icon) == 0)
        return;
    qCInfo(trayLog, "Tray icon 0x%x left", icon);
    layoutIcons();
}

void TrayStrip::layoutIcons()
{
    xcb_connection_t *c = qtX11Connection();
    if (!c)
        return;
    // Right-aligned, the newest leftmost, as status items gather in a menu bar.
    int x = width() - spacing;
    for (const quint32 icon : std::as_const(m_icons)) {
        x -= iconSize;
        const uint32_t geometry[4] = {uint32_t(x), uint32_t((height - iconSize) / 2), iconSize, iconSize};
        xcb_configure_window(c, icon,
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                             geometry);
        x -= spacing;
    }
    xcb_flush(c);
}

void TrayStrip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x1E, 0x1E, 0x22));
    painter.setPen(QColor(255, 255, 255, 28));
    painter.drawLine(rect().bottomLeft(), rect().bottomRight());
}
