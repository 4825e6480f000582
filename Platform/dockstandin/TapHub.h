#pragma once

#include "Platform/EventTaps.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QWaitCondition>

#include <functional>
#include <optional>

// The event taps that clients have installed, and the passage of one pointer event through them.
// The main thread delivers events and waits for each active tap's verdict; the socket thread adds
// and removes taps and brings the verdicts in.
class TapHub {
public:
    // Sends a message to a client; must be safe to call from the main thread.
    using Sender = std::function<void(quint64 client, const QByteArray &frame)>;

    explicit TapHub(Sender sender, int timeoutMilliseconds = 1000);

    quint64 add(quint64 client, CGEventTapLocation location, bool headInsert, bool listenOnly, quint64 mask, bool enabled);
    // Removing a tap that is being waited for lets its event pass.
    void remove(quint64 tap);
    void setEnabled(quint64 tap, bool enabled);
    void resolve(quint64 tap, quint64 event, bool pass);

    // Runs an event through the enabled taps at `from` and after it, in their order. False when an
    // active tap dropped it. An active tap that does not answer within the timeout is disabled,
    // told so, and the event goes on as if it had passed.
    bool deliver(const CGEvent &event, CGEventTapLocation from);

    int count() const;

private:
    struct Tap {
        quint64 identifier;
        quint64 client;
        CGEventTapLocation location;
        bool headInsert;
        bool listenOnly;
        quint64 mask;
        bool enabled;
        quint32 serial;
    };
    struct Pending {
        quint64 tap = 0;
        quint64 event = 0;
        std::optional<bool> pass;
    };

    QList<Tap> orderedTaps(const CGEvent &event, CGEventTapLocation from) const;
    Tap *find(quint64 tap);

    Sender m_sender;
    int m_timeout;
    mutable QMutex m_mutex;
    QWaitCondition m_answered;
    QList<Tap> m_taps;
    quint64 m_nextTap = 1;
    quint64 m_nextEvent = 1;
    quint32 m_serial = 0;
    Pending m_pending;
};
