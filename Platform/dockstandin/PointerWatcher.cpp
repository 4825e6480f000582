#include "Platform/dockstandin/PointerWatcher.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>

namespace {

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
    m_last = QPoint(-1, -1);
    m_lastButtons = -1;
    m_eventCame = false;
    // Without XInput2 the input's own poll alone follows the pointer.
    const bool started = m_input.start(
        XCB_INPUT_XI_EVENT_MASK_RAW_MOTION | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE,
        true, -1, [this](xcb_generic_event_t *) { m_eventCame = true; },
        [this] {
            if (m_eventCame.exchange(false) || !m_input.hasXInput2())
                readPointer();
        });
    // Where the pointer starts; the connection may be used from two threads.
    if (started)
        readPointer();
    return started;
}

void PointerWatcher::stop()
{
    m_input.stop();
}

void PointerWatcher::readPointer()
{
    const std::lock_guard lock(m_readMutex);
    const std::optional<X11RawInput::Pointer> pointer = m_input.queryPointer();
    if (!pointer)
        return;
    const QPoint position = pointer->position;
    const int buttons = pointer->mask & buttonMask;
    if (position != m_last || buttons != m_lastButtons) {
        m_last = position;
        m_lastButtons = buttons;
        emit pointerChanged(position, buttons);
    }
}
