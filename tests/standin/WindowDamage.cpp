#include "tests/standin/WindowDamage.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <utility>

WindowDamage::WindowDamage(quint32 window)
{
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection))
        return;
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(m_connection, &xcb_damage_id);
    xcb_damage_query_version_reply_t *version =
        xcb_damage_query_version_reply(m_connection, xcb_damage_query_version(m_connection, 1, 1), nullptr);
    const bool present = extension && extension->present && version;
    std::free(version);
    if (!present)
        return;
    m_notifyEvent = extension->first_event + XCB_DAMAGE_NOTIFY;
    m_damage = xcb_generate_id(m_connection);
    xcb_void_cookie_t created = xcb_damage_create_checked(m_connection, m_damage, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
    if (xcb_generic_error_t *error = xcb_request_check(m_connection, created)) {
        std::free(error);
        m_damage = 0;
    }
}

WindowDamage::~WindowDamage()
{
    if (m_damage != 0)
        xcb_damage_destroy(m_connection, m_damage);
    xcb_disconnect(m_connection);
}

QList<QRect> WindowDamage::take()
{
    if (m_damage == 0)
        return {};
    // A round trip first: every repaint the server took before this call has been reported by then.
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & 0x7f) == m_notifyEvent) {
            const auto *notify = reinterpret_cast<const xcb_damage_notify_event_t *>(event);
            if (notify->damage == m_damage)
                m_seen.append(QRect(notify->area.x, notify->area.y, notify->area.width, notify->area.height));
        }
        std::free(event);
    }
    return std::exchange(m_seen, {});
}
