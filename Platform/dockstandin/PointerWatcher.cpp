#include "Platform/dockstandin/PointerWatcher.h"

#include <QLoggingCategory>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <poll.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(pointerLog, "com.kestrowan.dock.pointer")

// How often the pointer is read on a display without XInput2, which sends no raw events.
constexpr int pollMilliseconds = 100;
constexpr quint16 buttonMask = XCB_KEY_BUT_MASK_BUTTON_1 | XCB_KEY_BUT_MASK_BUTTON_2 | XCB_KEY_BUT_MASK_BUTTON_3
    | XCB_KEY_BUT_MASK_BUTTON_4 | XCB_KEY_BUT_MASK_BUTTON_5;

} // namespace

PointerWatcher::PointerWatcher() = default;

PointerWatcher::~PointerWatcher()
{
    stop();
}

bool PointerWatcher::start()
{
    int screenNumber = 0;
    m_connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_connection)) {
        qCWarning(pointerLog, "Cannot connect to the X server to follow the pointer");
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return false;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    m_root = screens.data->root;

    xcb_input_xi_query_version_reply_t *version =
        xcb_input_xi_query_version_reply(m_connection, xcb_input_xi_query_version(m_connection, 2, 0), nullptr);
    if (version && version->major_version >= 2) {
        struct {
            xcb_input_event_mask_t header;
            uint32_t mask;
        } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                    XCB_INPUT_XI_EVENT_MASK_RAW_MOTION | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS
                        | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE};
        xcb_input_xi_select_events(m_connection, m_root, 1, &selection.header);
        xcb_flush(m_connection);
        m_rawEvents = true;
    } else {
        m_rawEvents = false;
        qCWarning(pointerLog, "No XInput2 on this display; following the pointer by polling");
    }
    std::free(version);

    if (pipe(m_wake) != 0) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return false;
    }
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void PointerWatcher::stop()
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
}

void PointerWatcher::run()
{
    QPoint last(-1, -1);
    int lastButtons = -1;
    // With raw events the thread sleeps until input comes, and reads the pointer only then (a warp,
    // which raises no raw event, shows with the next move or press). The first reading tells where
    // the pointer starts.
    bool read = true;
    while (!m_stopping) {
        if (read) {
            xcb_query_pointer_reply_t *pointer =
                xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr);
            if (pointer) {
                const QPoint position(pointer->root_x, pointer->root_y);
                const int buttons = pointer->mask & buttonMask;
                std::free(pointer);
                if (position != last || buttons != lastButtons) {
                    last = position;
                    lastButtons = buttons;
                    emit pointerChanged(position, buttons);
                }
            }
        }
        // Events that came in while the pointer was read wait in the connection's queue, where poll
        // cannot see them: they are taken first.
        read = !m_rawEvents;
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            read = true;
            std::free(event);
        }
        if (read && m_rawEvents)
            continue;
        pollfd fds[2] = {{xcb_get_file_descriptor(m_connection), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        poll(fds, 2, m_rawEvents ? -1 : pollMilliseconds);
        if (m_stopping || xcb_connection_has_error(m_connection))
            break;
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            read = true;
            std::free(event);
        }
    }
}
