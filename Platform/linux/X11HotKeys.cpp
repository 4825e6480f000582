#include "Platform/linux/X11HotKeys.h"

#include "Platform/VirtualKeyTable.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

namespace {

Q_LOGGING_CATEGORY(hotKeyLog, "com.kestrowan.app.interaction")

constexpr quint32 numLockKeysym = 0xff7f;

} // namespace

X11HotKeys::X11HotKeys() = default;

X11HotKeys::~X11HotKeys()
{
    m_notifier.reset();
    if (m_symbols)
        xcb_key_symbols_free(m_symbols);
    if (m_connection)
        xcb_disconnect(m_connection);
}

quint16 X11HotKeys::x11Modifiers(quint32 modifiers)
{
    quint16 mask = 0;
    if (modifiers & HotKeyModifier::shift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & HotKeyModifier::control)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & HotKeyModifier::option)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & HotKeyModifier::command)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

bool X11HotKeys::connectToDisplay()
{
    if (m_connection)
        return true;
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    m_connection = connection;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    m_symbols = xcb_key_symbols_alloc(connection);
    m_numLock = numLockMask();
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &X11HotKeys::readEvents);
    return true;
}

quint16 X11HotKeys::numLockMask()
{
    quint16 mask = 0;
    xcb_keycode_t *numLockCodes = xcb_key_symbols_get_keycode(m_symbols, numLockKeysym);
    xcb_get_modifier_mapping_reply_t *mapping =
        xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr);
    if (numLockCodes && mapping) {
        const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(mapping);
        const int perModifier = mapping->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8 && !mask; ++modifier) {
            for (int i = 0; i < perModifier && !mask; ++i) {
                const xcb_keycode_t code = codes[modifier * perModifier + i];
                for (const xcb_keycode_t *n = numLockCodes; code && *n != XCB_NO_SYMBOL; ++n) {
                    if (*n == code)
                        mask = quint16(1u << modifier);
                }
            }
        }
    }
    std::free(numLockCodes);
    std::free(mapping);
    // Where the keyboard names no Num Lock key, it is Mod2 everywhere in practice.
    return mask ? mask : quint16(XCB_MOD_MASK_2);
}

std::optional<quint64> X11HotKeys::registerHotKey(quint16 keyCode, quint32 modifiers, EventHotKeyID id, QString *failure)
{
    const auto fail = [failure](const QString &why) -> std::optional<quint64> {
        if (failure)
            *failure = why;
        return std::nullopt;
    };
    if (!connectToDisplay())
        return fail(QStringLiteral("no display"));
    const std::optional<quint32> keysym = VirtualKeyTable::keysymForVirtualKeyCode(keyCode);
    if (!keysym)
        return fail(QStringLiteral("key code %1 has no key on this machine").arg(keyCode));
    xcb_keycode_t *keycodes = xcb_key_symbols_get_keycode(m_symbols, *keysym);
    const quint8 keycode = keycodes && keycodes[0] != XCB_NO_SYMBOL ? keycodes[0] : 0;
    std::free(keycodes);
    if (!keycode)
        return fail(QStringLiteral("no key of this keyboard types key code %1").arg(keyCode));

    const quint16 mask = x11Modifiers(modifiers);
    const quint16 variants[] = {0, XCB_MOD_MASK_LOCK, m_numLock, quint16(XCB_MOD_MASK_LOCK | m_numLock)};
    xcb_void_cookie_t cookies[4];
    for (int i = 0; i < 4; ++i)
        cookies[i] = xcb_grab_key_checked(m_connection, 1, m_root, mask | variants[i], keycode, XCB_GRAB_MODE_ASYNC,
                                          XCB_GRAB_MODE_ASYNC);
    bool refused = false;
    for (const xcb_void_cookie_t &cookie : cookies) {
        if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookie)) {
            refused = true;
            std::free(error);
        }
    }
    if (refused) {
        // Whatever variants were had go back: half a hot key would work only with Caps Lock on.
        for (quint16 variant : variants)
            ungrab(keycode, mask | variant);
        xcb_flush(m_connection);
        return fail(QStringLiteral("another program holds the combination"));
    }
    const quint64 handle = m_next++;
    m_grabs.insert(handle, {keycode, mask, id});
    return handle;
}

void X11HotKeys::ungrab(quint8 keycode, quint16 modifiers)
{
    xcb_ungrab_key(m_connection, keycode, m_root, modifiers);
}

void X11HotKeys::unregisterHotKey(quint64 handle)
{
    const auto found = m_grabs.constFind(handle);
    if (found == m_grabs.cend())
        return;
    const Grab grab = *found;
    m_grabs.erase(found);
    // Another registration of the same combination keeps the grab.
    for (const Grab &other : std::as_const(m_grabs)) {
        if (other.keycode == grab.keycode && other.modifiers == grab.modifiers)
            return;
    }
    for (quint16 variant : {quint16(0), quint16(XCB_MOD_MASK_LOCK), m_numLock, quint16(XCB_MOD_MASK_LOCK | m_numLock)})
        ungrab(grab.keycode, grab.modifiers | variant);
    xcb_flush(m_connection);
}

quint64 X11HotKeys::installHandler(Handler handler)
{
    const quint64 handle = m_next++;
    m_handlers.insert(handle, std::move(handler));
    return handle;
}

void X11HotKeys::removeHandler(quint64 handle)
{
    m_handlers.remove(handle);
}

void X11HotKeys::readEvents()
{
    const QPointer<X11HotKeys> self(this);
    while (self && m_connection) {
        xcb_generic_event_t *event = xcb_poll_for_event(m_connection);
        if (!event)
            break;
        const quint8 type = event->response_type & 0x7f;
        if (type == XCB_KEY_RELEASE) {
            const auto *release = reinterpret_cast<xcb_key_release_event_t *>(event);
            m_lastRelease = {release->detail, release->time};
        } else if (type == XCB_KEY_PRESS) {
            const auto *press = reinterpret_cast<xcb_key_press_event_t *>(event);
            const quint8 keycode = press->detail;
            const quint16 state = press->state;
            const quint32 time = press->time;
            std::free(event);
            keyPressed(keycode, state, time);
            continue;
        }
        std::free(event);
    }
    if (self && m_connection && xcb_connection_has_error(m_connection)) {
        qCWarning(hotKeyLog, "The display connection of the hot keys has gone; hot keys no longer work");
        m_notifier.reset();
    }
}

void X11HotKeys::keyPressed(quint8 keycode, quint16 state, quint32 time)
{
    // Auto-repeat sends a release and a press with one time stamp: the key never came up.
    if (m_lastRelease.keycode == keycode && m_lastRelease.time == time)
        return;
    const quint16 modifiers = state & ~quint16(XCB_MOD_MASK_LOCK | m_numLock) & 0xff;
    QList<EventHotKeyID> pressed;
    for (const Grab &grab : std::as_const(m_grabs)) {
        if (grab.keycode == keycode && grab.modifiers == modifiers)
            pressed.append(grab.id);
    }
    const QPointer<X11HotKeys> self(this);
    for (const EventHotKeyID &id : pressed) {
        for (const Handler &handler : QList(m_handlers.values())) {
            if (!self)
                return;
            handler(HotKeyEvent{id});
        }
    }
}
