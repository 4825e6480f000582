#include "Platform/linux/X11GlobalEventMonitor.h"

#include <QGuiApplication>
#include <QMetaObject>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>

#include <cstdlib>

namespace {

constexpr xcb_keysym_t escapeKeysym = 0xff1b;

} // namespace

bool X11GlobalEventMonitor::start()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    const bool started = m_input.start(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS,
                                       false, -1, [this](xcb_generic_event_t *event) { handle(event); });
    if (!started)
        return false;
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
    m_input.stop();
}

void X11GlobalEventMonitor::handle(xcb_generic_event_t *event)
{
    const quint16 type = m_input.xinputEventType(event);
    if (type == XCB_INPUT_RAW_KEY_PRESS) {
        const auto *raw = reinterpret_cast<xcb_input_raw_key_press_event_t *>(event);
        if (const quint8 escape = m_escapeKeycode; escape != 0 && raw->detail == escape)
            QMetaObject::invokeMethod(this, [this] { emit escapePressed(); }, Qt::QueuedConnection);
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
    QMetaObject::invokeMethod(this, [this, position, button] { emit mouseDown(position, button); }, Qt::QueuedConnection);
}
