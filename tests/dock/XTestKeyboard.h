#pragma once

#include <QList>
#include <QtGlobal>

struct xcb_connection_t;
struct _XCBKeySymbols;

namespace XTestKeys {
inline constexpr quint32 controlL = 0xffe3;
inline constexpr quint32 shiftL = 0xffe1;
inline constexpr quint32 capsLock = 0xffe5;
inline constexpr quint32 numLock = 0xff7f;
} // namespace XTestKeys

// A keyboard of its own on the test's X server: presses keys by their symbols through XTest, as a
// user's hand would, and can grab a combination as another program would.
class XTestKeyboard {
public:
    XTestKeyboard();
    ~XTestKeyboard();
    XTestKeyboard(const XTestKeyboard &) = delete;
    XTestKeyboard &operator=(const XTestKeyboard &) = delete;

    bool isValid() const { return m_symbols != nullptr; }
    quint8 keycode(quint32 keysym) const;
    void key(quint32 keysym, bool down);
    // Returns once the server has taken every key sent so far.
    void sync();
    // Presses the modifiers, taps the key, releases the modifiers.
    void chord(const QList<quint32> &modifiers, quint32 keysym);
    // A passive grab on the root window; false when another client holds it.
    bool grab(quint32 keysym, quint16 modifiers);

private:
    xcb_connection_t *m_connection;
    _XCBKeySymbols *m_symbols = nullptr;
    quint32 m_root = 0;
};
