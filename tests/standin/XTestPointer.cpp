#include "tests/standin/XTestPointer.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

XTestPointer::XTestPointer(const QByteArray &display)
{
    m_connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), nullptr);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
}

XTestPointer::~XTestPointer()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

void XTestPointer::fake(quint8 type, quint8 detail, const QPoint &position)
{
    if (!m_connection)
        return;
    xcb_test_fake_input(m_connection, type, detail, XCB_CURRENT_TIME, m_root, qint16(position.x()), qint16(position.y()), 0);
    // Round trip, so the server has handled the event before the test goes on.
    free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

void XTestPointer::move(const QPoint &position)
{
    fake(XCB_MOTION_NOTIFY, 0, position);
}

void XTestPointer::press(int button)
{
    fake(XCB_BUTTON_PRESS, quint8(button));
}

void XTestPointer::release(int button)
{
    fake(XCB_BUTTON_RELEASE, quint8(button));
}

void XTestPointer::click(const QPoint &position, int button)
{
    move(position);
    press(button);
    release(button);
}

void XTestPointer::drag(const QPoint &from, const QPoint &to)
{
    move(from);
    press(1);
    constexpr int steps = 8;
    for (int i = 1; i <= steps; ++i)
        move(from + (to - from) * i / steps);
    release(1);
}
