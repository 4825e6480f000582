#include "Platform/linux/X11GlobalEventMonitor.h"

#include "Platform/linux/X11Connection.h"

#include <QGuiApplication>
#include <QMetaObject>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>

#include <cstdlib>

namespace {

constexpr xcb_keysym_t escapeKeysym = 0xff1b;
constexpr quint32 watchedEvents = XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS;

} // namespace

X11GlobalEventMonitor::~X11GlobalEventMonitor()
{
    m_input.stop();
}

bool X11GlobalEventMonitor::start()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    const bool running = m_input.isRunning() && !xcb_connection_has_error(m_input.connection());
    // Started already: the presses on their way belong to this start too.
    if (m_active && running)
        return true;
    ++m_epoch;
    m_active = true;
    if (running) {
        m_input.selectEvents(watchedEvents);
        return true;
    }
    // A connection the server dropped is made again, with its own numbering of requests.
    m_input.stop();
    m_stopSequence = 0;
    if (xcb_connection_t *own = qtX11Connection()) {
        const xcb_setup_t *setup = xcb_get_setup(own);
        m_ownIdBase = setup->resource_id_base;
        m_ownIdMask = setup->resource_id_mask;
    }
    const bool started = m_input.start(watchedEvents, false, -1, [this](xcb_generic_event_t *event) { handle(event); });
    if (!started) {
        m_active = false;
        return false;
    }
    // Read before any event can arrive: the thread only waits for the server's answers to itself.
    if (xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(m_input.connection())) {
        if (xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols, escapeKeysym)) {
            m_escapeKeycode = codes[0];
            std::free(codes);
        }
        xcb_key_symbols_free(symbols);
    }
    return true;
}

void X11GlobalEventMonitor::stop()
{
    m_active = false;
    ++m_epoch;
    m_stopSequence = m_input.selectEvents(0);
}

void X11GlobalEventMonitor::handle(xcb_generic_event_t *event)
{
    if (!m_active || X11RawInput::isSentBefore(event, m_stopSequence))
        return;
    const quint64 epoch = m_epoch;
    const quint16 type = m_input.xinputEventType(event);
    if (type == XCB_INPUT_RAW_KEY_PRESS) {
        const auto *raw = reinterpret_cast<xcb_input_raw_key_press_event_t *>(event);
        if (const quint8 escape = m_escapeKeycode; escape != 0 && raw->detail == escape && !keyboardIsOurs())
            QMetaObject::invokeMethod(this, [this, epoch] {
                if (epoch == m_epoch)
                    emit escapePressed();
            }, Qt::QueuedConnection);
        return;
    }
    if (type != XCB_INPUT_RAW_BUTTON_PRESS)
        return;
    // Buttons 4 to 7 are the scroll wheel, not presses.
    const quint32 detail = reinterpret_cast<xcb_input_raw_button_press_event_t *>(event)->detail;
    if (detail < 1 || detail > 3)
        return;
    const std::optional<X11RawInput::Pointer> pointer = m_input.queryPointer();
    if (!pointer)
        return;
    const QPoint position = pointer->position;
    const Qt::MouseButton button = detail == 1 ? Qt::LeftButton : detail == 3 ? Qt::RightButton : Qt::MiddleButton;
    QMetaObject::invokeMethod(this, [this, epoch, position, button] {
        if (epoch == m_epoch)
            emit mouseDown(position, button);
    }, Qt::QueuedConnection);
}

bool X11GlobalEventMonitor::isOurWindow(xcb_window_t window) const
{
    return m_ownIdMask != 0 && window > XCB_INPUT_FOCUS_POINTER_ROOT && (window & ~m_ownIdMask) == m_ownIdBase;
}

bool X11GlobalEventMonitor::keyboardIsOurs() const
{
    xcb_connection_t *c = m_input.connection();
    xcb_get_input_focus_reply_t *focus = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    if (!focus)
        return false;
    const xcb_window_t focused = focus->focus;
    std::free(focus);
    if (focused == XCB_NONE) // the keys go nowhere
        return false;
    if (focused != XCB_INPUT_FOCUS_POINTER_ROOT)
        return isOurWindow(focused);
    // The keys go to the window under the pointer: ours when any window on the way down to it is.
    xcb_window_t window = m_input.root();
    for (int depth = 0; depth < 16 && window != XCB_NONE; ++depth) {
        xcb_query_pointer_reply_t *pointer = xcb_query_pointer_reply(c, xcb_query_pointer(c, window), nullptr);
        if (!pointer)
            return false;
        window = pointer->same_screen ? pointer->child : xcb_window_t(XCB_WINDOW_NONE);
        std::free(pointer);
        if (isOurWindow(window))
            return true;
    }
    return false;
}
