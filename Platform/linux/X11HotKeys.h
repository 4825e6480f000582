#pragma once

#include "Platform/HotKeys.h"

#include <QMap>
#include <QObject>

#include <memory>

class QSocketNotifier;
struct xcb_connection_t;
struct _XCBKeySymbols;

// Hot keys on X11: a passive grab of the key on the root window, once for each state of Caps Lock
// and Num Lock, so the combination works whichever of them is on. A grab that another client
// holds fails and is reported, and so is a key that no key of the keyboard makes. The grabs live on
// a connection of this object's own, read on the thread that made it.
class X11HotKeys final : public QObject, public HotKeys {
    Q_OBJECT
public:
    X11HotKeys();
    ~X11HotKeys() override;

    std::optional<quint64> registerHotKey(quint16 keyCode, quint32 modifiers, EventHotKeyID id,
                                          QString *failure = nullptr) override;
    void unregisterHotKey(quint64 handle) override;
    quint64 installHandler(Handler handler) override;
    void removeHandler(quint64 handle) override;

    // The X modifier mask of the platform's hot-key modifier bits.
    static quint16 x11Modifiers(quint32 modifiers);

private:
    struct Grab {
        quint8 keycode;
        quint16 modifiers;
        EventHotKeyID id;
    };
    struct Release {
        quint8 keycode = 0;
        quint32 time = 0;
    };

    bool connectToDisplay();
    quint16 numLockMask();
    void ungrab(quint8 keycode, quint16 modifiers);
    void readEvents();
    void keyPressed(quint8 keycode, quint16 state, quint32 time);

    xcb_connection_t *m_connection = nullptr;
    _XCBKeySymbols *m_symbols = nullptr;
    quint32 m_root = 0;
    quint16 m_numLock = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QMap<quint64, Grab> m_grabs;
    QMap<quint64, Handler> m_handlers;
    quint64 m_next = 1;
    Release m_lastRelease;
};
