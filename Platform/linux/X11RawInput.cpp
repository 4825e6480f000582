#include "Platform/linux/X11RawInput.h"

#include <QLoggingCategory>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(rawInputLog, "com.kestrowan.app.interaction")

} // namespace

X11RawInput::~X11RawInput()
{
    stop();
}

bool X11RawInput::start(quint32 rawEventMask, bool worksWithoutXInput2, int pollMilliseconds, EventHandler onEvent,
                        WakeHandler onWake)
{
    if (m_thread.joinable())
        return true;
    int screenNumber = 0;
    m_connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_connection)) {
        qCWarning(rawInputLog, "Cannot connect to the X server to watch global input");
        stop();
        return false;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    m_root = screens.data->root;

    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(m_connection, &xcb_input_id);
    xcb_input_xi_query_version_reply_t *version =
        xcb_input_xi_query_version_reply(m_connection, xcb_input_xi_query_version(m_connection, 2, 0), nullptr);
    const bool hasXInput2 = extension && extension->present && version && version->major_version >= 2;
    std::free(version);
    if (hasXInput2) {
        m_xinputOpcode = extension->major_opcode;
        selectEvents(rawEventMask);
    } else {
        qCWarning(rawInputLog, "No XInput2 on this display");
        if (!worksWithoutXInput2) {
            stop();
            return false;
        }
    }
    if (pipe2(m_wake, O_CLOEXEC) != 0) {
        stop();
        return false;
    }
    m_onEvent = std::move(onEvent);
    m_onWake = std::move(onWake);
    m_stopping = false;
    const int wakeEvery = !hasXInput2 && pollMilliseconds < 0 ? 100 : pollMilliseconds;
    m_thread = std::thread([this, wakeEvery] { run(wakeEvery); });
    return true;
}

void X11RawInput::stop()
{
    if (m_thread.joinable()) {
        m_stopping = true;
        const char wake = 1;
        [[maybe_unused]] const ssize_t written = write(m_wake[1], &wake, 1);
        m_thread.join();
    }
    for (int &fd : m_wake) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    if (m_connection)
        xcb_disconnect(m_connection);
    m_connection = nullptr;
    m_xinputOpcode = 0;
}

quint32 X11RawInput::selectEvents(quint32 rawEventMask)
{
    if (!m_connection || m_xinputOpcode == 0)
        return 0;
    struct {
        xcb_input_event_mask_t header;
        uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, rawEventMask};
    // Waits for the server's word: from the return on, what the server reports follows the new mask.
    const xcb_void_cookie_t request = xcb_input_xi_select_events_checked(m_connection, m_root, 1, &selection.header);
    std::free(xcb_request_check(m_connection, request));
    return request.sequence;
}

bool X11RawInput::isSentBefore(const xcb_generic_event_t *event, quint32 sequence)
{
    // An event carries the number of the last request the server had taken from this connection
    // when it sent the event. The numbers wrap around.
    return qint32(event->full_sequence - sequence) < 0;
}

std::optional<X11RawInput::Pointer> X11RawInput::queryPointer() const
{
    xcb_query_pointer_reply_t *reply = xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr);
    if (!reply)
        return std::nullopt;
    const Pointer pointer{QPoint(reply->root_x, reply->root_y), reply->mask};
    std::free(reply);
    return pointer;
}

quint16 X11RawInput::xinputEventType(const xcb_generic_event_t *event) const
{
    if (m_xinputOpcode == 0 || (event->response_type & 0x7f) != XCB_GE_GENERIC)
        return 0;
    const auto *generic = reinterpret_cast<const xcb_ge_generic_event_t *>(event);
    return generic->extension == m_xinputOpcode ? generic->event_type : 0;
}

void X11RawInput::run(int pollMilliseconds)
{
    while (!m_stopping) {
        // Events that came in while a handler waited for a reply sit in the connection's queue,
        // where poll cannot see them: they are handled before sleeping.
        bool queued = false;
        while (xcb_generic_event_t *event = xcb_poll_for_queued_event(m_connection)) {
            queued = true;
            if (m_onEvent)
                m_onEvent(event);
            std::free(event);
        }
        if (!queued) {
            pollfd fds[2] = {{xcb_get_file_descriptor(m_connection), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            poll(fds, 2, pollMilliseconds);
        }
        if (m_stopping || xcb_connection_has_error(m_connection))
            break;
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            if (m_onEvent)
                m_onEvent(event);
            std::free(event);
        }
        if (m_onWake)
            m_onWake();
    }
}
