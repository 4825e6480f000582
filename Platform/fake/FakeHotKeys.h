#pragma once

#include "Platform/HotKeys.h"

#include <QList>
#include <QMap>
#include <QSet>

// Hot keys in memory: tests see what is registered, refuse combinations and press keys.
class FakeHotKeys final : public HotKeys {
public:
    struct Registration {
        quint16 keyCode;
        quint32 modifiers;
        EventHotKeyID id;
    };

    // Combinations (key code, modifiers) that another program holds.
    QSet<QPair<quint16, quint32>> taken;
    QMap<quint64, Registration> registrations;
    QMap<quint64, Handler> handlers;
    int unregisterCount = 0;

    // Presses the combination: the handlers get one event per matching registration.
    void press(quint16 keyCode, quint32 modifiers);
    void deliver(const HotKeyEvent &event);
    std::optional<Registration> registrationFor(quint32 id) const;

    std::optional<quint64> registerHotKey(quint16 keyCode, quint32 modifiers, EventHotKeyID id,
                                          QString *failure = nullptr) override;
    void unregisterHotKey(quint64 handle) override;
    quint64 installHandler(Handler handler) override;
    void removeHandler(quint64 handle) override;

private:
    quint64 m_next = 1;
};
