#include "tests/dock/XTestKeyboard.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <cstdlib>

XTestKeyboard::XTestKeyboard()
    : m_connection(xcb_connect(nullptr, nullptr))
{
    if (xcb_connection_has_error(m_connection))
        return;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    m_symbols = xcb_key_symbols_alloc(m_connection);
}

XTestKeyboard::~XTestKeyboard()
{
    if (m_symbols)
        xcb_key_symbols_free(m_symbols);
    xcb_disconnect(m_connection);
}

quint8 XTestKeyboard::keycode(quint32 keysym) const
{
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(m_symbols, keysym);
    const quint8 code = codes ? codes[0] : 0;
    std::free(codes);
    return code;
}

void XTestKeyboard::key(quint32 keysym, bool down)
{
    xcb_test_fake_input(m_connection, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode(keysym), XCB_CURRENT_TIME, XCB_NONE,
                        0, 0, 0);
    xcb_flush(m_connection);
}

void XTestKeyboard::sync()
{
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

void XTestKeyboard::chord(const QList<quint32> &modifiers, quint32 keysym)
{
    for (quint32 modifier : modifiers)
        key(modifier, true);
    key(keysym, true);
    key(keysym, false);
    for (quint32 modifier : modifiers)
        key(modifier, false);
}

bool XTestKeyboard::grab(quint32 keysym, quint16 modifiers)
{
    xcb_generic_error_t *error = xcb_request_check(
        m_connection,
        xcb_grab_key_checked(m_connection, 1, m_root, modifiers, keycode(keysym), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(error);
    return error == nullptr;
}
