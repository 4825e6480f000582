#pragma once

#include "Platform/EventTaps.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
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

    // On the platform a program's taps live in the window server: they outlive a Dock restart, and
    // a program that replaces its tap leaves no gap between the two. Here the taps live in the Dock
    // and come and go over connections, so the bar's events wait for a program's active tap that
    // is on its way back: for a while after a restart, for the programs that had one in the Dock
    // before; and for a moment after a running program's active tap goes, for its next one.
    // Where the window server's taps meet the Dock that is there now, a tap here meets a new Dock
    // through its program's copy of the tiles: after a restart, a program that kept one is waited
    // for until it has been sent its copy of this Dock's too.
    static constexpr int restartWaitMilliseconds = 3000;
    static constexpr int replacementWaitMilliseconds = 1000;
    // A program that has just come back to a restarted Dock is busiest then: it takes in the new
    // Dock's tiles and starts its watchers afresh as the bar's events, held for it or not, reach its
    // tap. For a while after its tap and its copy came, its tap is given as long to decide an event
    // as the program was given to come back, so that a loaded machine's delay does not make the
    // Dock act on a click the program would have taken.
    static constexpr int returnVerdictMilliseconds = restartWaitMilliseconds;

    explicit TapHub(Sender sender, int timeoutMilliseconds = 1000);

    // `process`: the program's process, 0 when unknown. Its active tap ends the wait for it.
    quint64 add(quint64 client, CGEventTapLocation location, bool headInsert, bool listenOnly, quint64 mask, bool enabled,
                qint64 process = 0);
    // Removing a tap that is being waited for lets its event pass. `comesBack`: its program still
    // runs, and an active tap of its is waited for, for a moment; the event it was given then
    // waits for that tap too. Otherwise the program takes no more clicks (it said so, or it ended):
    // nothing of it is waited for any more, unless another active tap of it stays.
    void remove(quint64 tap, bool comesBack = false);
    // The process ended: nothing of it is waited for. True when something was.
    bool processEnded(qint64 process);
    // The processes whose taps or copies the bar's events wait for now.
    QList<qint64> awaitedProcesses();
    // The bar's events wait for an active tap of each of these processes, and for those among
    // `copies` until they are sent their copy of the tiles too, at most that long.
    void awaitTaps(const QList<qint64> &processes, int milliseconds, const QList<qint64> &copies = {});
    // The process was sent its copy of the tiles (it is in its socket before any event that waited
    // for it goes to its tap).
    void copySent(qint64 process);
    void setEnabled(quint64 tap, bool enabled);
    void resolve(quint64 tap, quint64 event, bool pass);

    // Runs an event through the enabled taps at `from` and after it, in their order. False when an
    // active tap dropped it. An active tap that does not answer within the timeout is disabled,
    // told so, and the event goes on as if it had passed.
    bool deliver(const CGEvent &event, CGEventTapLocation from);

    enum class Passage { Passed, Dropped, Awaited };
    // As `deliver`, unless an active tap is awaited: then the event goes to no tap, and the caller
    // keeps it, with those after it, for when the tap is back or given up on. `given` holds the
    // taps the event has been sent to, and gains those it is sent to now: an event that comes back
    // (its tap went while deciding, and the one replacing it is awaited) goes on from where it
    // stopped, and no tap sees it twice.
    Passage deliverUnlessAwaited(const CGEvent &event, CGEventTapLocation from, QSet<quint64> *given);
    // How long until every awaited tap is back or given up on: -1 when none is awaited.
    qint64 awaitedFor();

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
        qint64 process;
        QDeadlineTimer returning = QDeadlineTimer(0); // until then its program has just come back
    };
    struct Pending {
        quint64 tap = 0;
        quint64 event = 0;
        std::optional<bool> pass;
        bool awaited = false; // its tap went, and the one that replaces it is awaited
    };

    QList<Tap> orderedTaps(const CGEvent &event, CGEventTapLocation from) const;
    Tap *find(quint64 tap);
    // With the lock held.
    Passage deliverLocked(const CGEvent &event, CGEventTapLocation from, QSet<quint64> *given);
    // The program's active taps are given returnVerdictMilliseconds from now on, for as long.
    void justBack(qint64 process);
    void forgetExpiredWaits();

    Sender m_sender;
    int m_timeout;
    mutable QMutex m_mutex;
    QWaitCondition m_answered;
    QList<Tap> m_taps;
    quint64 m_nextTap = 1;
    quint64 m_nextEvent = 1;
    quint32 m_serial = 0;
    Pending m_pending;
    struct Awaited {
        QDeadlineTimer deadline;
        bool tap = true;
        bool copy = false;
        bool restart = false; // awaited since this Dock started, not for a replaced tap
    };
    QHash<qint64, Awaited> m_awaited;
};
