#include "bench/e2e/XProbe.h"

#include <xcb/damage.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>

namespace {

template <typename T>
struct Freed {
    T *p = nullptr;
    ~Freed() { std::free(p); }
    T *operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

} // namespace

XProbe::XProbe(const QString &display)
{
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(display.toUtf8().constData(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    m_root = screens.data->root;
    m_screenSize = QSize(screens.data->width_in_pixels, screens.data->height_in_pixels);
    m_keySymbols = xcb_key_symbols_alloc(m_connection);
    m_pidAtom = atom("_NET_WM_PID");
    m_protocolsAtom = atom("WM_PROTOCOLS");
    m_pingAtom = atom("_NET_WM_PING");
    m_deleteAtom = atom("WM_DELETE_WINDOW");

    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(m_connection, &xcb_damage_id);
    Freed<xcb_damage_query_version_reply_t> version{
        xcb_damage_query_version_reply(m_connection, xcb_damage_query_version(m_connection, 1, 1), nullptr)};
    if (!damage || !damage->present || !version)
        return;
    m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;

    // New top-level windows, their mapping, and the answers to pings (sent to the root).
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    Freed<xcb_query_tree_reply_t> tree{xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr)};
    if (tree) {
        const xcb_window_t *children = xcb_query_tree_children(tree.p);
        for (int i = 0; i < xcb_query_tree_children_length(tree.p); ++i)
            track(children[i]);
    }
    xcb_flush(m_connection);
}

XProbe::~XProbe()
{
    if (m_keySymbols)
        xcb_key_symbols_free(m_keySymbols);
    if (m_connection)
        xcb_disconnect(m_connection);
}

qint64 XProbe::now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

xcb_atom_t XProbe::atom(const char *name)
{
    Freed<xcb_intern_atom_reply_t> reply{
        xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr)};
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

qint64 XProbe::pidOf(xcb_window_t id)
{
    Freed<xcb_get_property_reply_t> reply{
        xcb_get_property_reply(m_connection, xcb_get_property(m_connection, 0, id, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr)};
    if (reply && xcb_get_property_value_length(reply.p) >= 4)
        return *static_cast<const quint32 *>(xcb_get_property_value(reply.p));
    return 0;
}

void XProbe::track(xcb_window_t id)
{
    // The damage object is made before the window is first drawn, so its first frame counts.
    const xcb_damage_damage_t damage = xcb_generate_id(m_connection);
    xcb_damage_create(m_connection, damage, id, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    m_damageOf.insert(damage, id);
    Window window;
    window.id = id;
    Freed<xcb_get_window_attributes_reply_t> attributes{
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, id), nullptr)};
    window.viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    Freed<xcb_get_geometry_reply_t> geometry{xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, id), nullptr)};
    if (geometry)
        window.geometry = QRect(geometry->x, geometry->y, geometry->width, geometry->height);
    window.pid = pidOf(id);
    m_windows.insert(id, window);
}

bool XProbe::pumpUntil(const std::function<bool()> &done, int timeoutMs)
{
    const qint64 deadline = now() + qint64(timeoutMs) * 1000000;
    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            handle(event);
            std::free(event);
        }
        if (done())
            return true;
        const qint64 left = deadline - now();
        if (left <= 0 || xcb_connection_has_error(m_connection))
            return false;
        pollfd descriptor{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        (void)::poll(&descriptor, 1, int(std::min<qint64>(left / 1000000 + 1, 5)));
    }
}

void XProbe::handle(xcb_generic_event_t *event)
{
    const qint64 at = now();
    const int type = event->response_type & 0x7f;
    if (type == m_damageEvent) {
        const auto *notify = reinterpret_cast<xcb_damage_notify_event_t *>(event);
        xcb_damage_subtract(m_connection, notify->damage, XCB_NONE, XCB_NONE);
        xcb_flush(m_connection);
        const auto found = m_damageOf.constFind(notify->damage);
        if (found != m_damageOf.cend() && m_windows.contains(*found)) {
            Window &window = m_windows[*found];
            window.lastDamage = at;
            ++window.damageCount;
            window.damages.append(at);
        }
        return;
    }
    switch (type) {
    case XCB_CREATE_NOTIFY: {
        const auto *create = reinterpret_cast<xcb_create_notify_event_t *>(event);
        if (create->parent == m_root) {
            track(create->window);
            m_windows[create->window].geometry = QRect(create->x, create->y, create->width, create->height);
            xcb_flush(m_connection);
        }
        break;
    }
    case XCB_DESTROY_NOTIFY:
        m_windows.remove(reinterpret_cast<xcb_destroy_notify_event_t *>(event)->window);
        break;
    case XCB_MAP_NOTIFY: {
        const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
        if (m_windows.contains(map->window)) {
            Window &window = m_windows[map->window];
            window.viewable = true;
            // The owner is known once the window is shown: toolkits name it before they map.
            if (window.pid == 0)
                window.pid = pidOf(map->window);
        }
        break;
    }
    case XCB_UNMAP_NOTIFY: {
        const auto *unmap = reinterpret_cast<xcb_unmap_notify_event_t *>(event);
        if (m_windows.contains(unmap->window))
            m_windows[unmap->window].viewable = false;
        break;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto *configure = reinterpret_cast<xcb_configure_notify_event_t *>(event);
        if (m_windows.contains(configure->window))
            m_windows[configure->window].geometry = QRect(configure->x, configure->y, configure->width, configure->height);
        break;
    }
    case XCB_CLIENT_MESSAGE: {
        const auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
        if (message->type == m_protocolsAtom && message->data.data32[0] == m_pingAtom) {
            const auto sent = m_pingsSent.constFind(message->data.data32[1]);
            if (sent != m_pingsSent.cend()) {
                const qint64 delay = at - *sent;
                m_pingsSent.erase(sent);
                if (pingAnswered)
                    pingAnswered(delay);
            }
        }
        break;
    }
    default:
        break;
    }
}

std::optional<XProbe::Window> XProbe::largestViewableWindowOf(qint64 pid, int minimumWidth)
{
    pump();
    std::optional<Window> largest;
    for (const Window &window : std::as_const(m_windows)) {
        if (window.pid != pid || !window.viewable || window.geometry.width() < minimumWidth)
            continue;
        if (!largest || window.geometry.width() * window.geometry.height() > largest->geometry.width() * largest->geometry.height())
            largest = window;
    }
    return largest;
}

void XProbe::clearDamage()
{
    pump();
    for (Window &window : m_windows) {
        window.lastDamage = 0;
        window.damageCount = 0;
        window.damages.clear();
    }
}

std::optional<XProbe::Window> XProbe::damagedWindowOf(qint64 pid, qint64 since, xcb_window_t except) const
{
    for (const Window &window : m_windows) {
        if (window.pid == pid && window.id != except && window.viewable && window.lastDamage > since)
            return window;
    }
    return std::nullopt;
}

bool XProbe::anyViewableWindowOf(qint64 pid, xcb_window_t except) const
{
    for (const Window &window : m_windows) {
        if (window.pid == pid && window.id != except && window.viewable)
            return true;
    }
    return false;
}

QByteArray XProbe::screenPixels(const QRect &rect)
{
    Freed<xcb_get_image_reply_t> image{xcb_get_image_reply(
        m_connection,
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, int16_t(rect.x()), int16_t(rect.y()),
                      uint16_t(rect.width()), uint16_t(rect.height()), ~0u),
        nullptr)};
    if (!image)
        return {};
    return QByteArray(reinterpret_cast<const char *>(xcb_get_image_data(image.p)), xcb_get_image_data_length(image.p));
}

qint64 XProbe::flushed()
{
    xcb_flush(m_connection);
    return now();
}

qint64 XProbe::pressKey(quint32 keysym, bool down)
{
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(m_keySymbols, keysym);
    if (!codes)
        return 0;
    const xcb_keycode_t code = codes[0];
    std::free(codes);
    xcb_test_fake_input(m_connection, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    return flushed();
}

qint64 XProbe::tapKey(quint32 keysym, const QList<quint32> &modifiers)
{
    for (quint32 modifier : modifiers)
        pressKey(modifier, true);
    const qint64 at = pressKey(keysym, true);
    pressKey(keysym, false);
    for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it)
        pressKey(*it, false);
    return at;
}

qint64 XProbe::movePointer(const QPoint &point)
{
    xcb_test_fake_input(m_connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, int16_t(point.x()), int16_t(point.y()), 0);
    return flushed();
}

qint64 XProbe::click(const QPoint &point)
{
    movePointer(point);
    xcb_test_fake_input(m_connection, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    const qint64 at = flushed();
    xcb_test_fake_input(m_connection, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    flushed();
    return at;
}

qint64 XProbe::scroll(const QPoint &point, int notches)
{
    movePointer(point);
    // Buttons 4 and 5 are the wheel's turns up and down.
    const quint8 button = notches > 0 ? 5 : 4;
    qint64 at = 0;
    for (int i = 0; i < std::abs(notches); ++i) {
        xcb_test_fake_input(m_connection, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        at = flushed();
        xcb_test_fake_input(m_connection, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        flushed();
    }
    return at;
}

void XProbe::sendProtocolMessage(xcb_window_t window, xcb_atom_t protocol, quint32 argument)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = m_protocolsAtom;
    message.data.data32[0] = protocol;
    message.data.data32[1] = argument;
    message.data.data32[2] = window;
    xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
    xcb_flush(m_connection);
}

void XProbe::ping(xcb_window_t window)
{
    // The answer carries the ping's number back where its timestamp would be.
    m_pingsSent.insert(m_nextPing, now());
    sendProtocolMessage(window, m_pingAtom, m_nextPing++);
}

void XProbe::requestClose(xcb_window_t window)
{
    sendProtocolMessage(window, m_deleteAtom, XCB_CURRENT_TIME);
}
