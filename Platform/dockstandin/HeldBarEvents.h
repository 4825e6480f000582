#pragma once

#include "Platform/EventTaps.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>

class TapHub;

// The bar's pointer events on their way through the taps. While the hub awaits a program's active
// tap (see TapHub), an event waits here, and every event after it, pointer moves too, so that they
// keep their order; once the tap is back or given up on, they go through the taps as if they had
// just come, each to the taps it has not been sent to yet. Nothing waits: a tap's return or a timer
// at the hub's deadline lets them go.
class HeldBarEvents : public QObject {
    Q_OBJECT
public:
    // `act`: what the Dock does with an event that no tap dropped.
    HeldBarEvents(TapHub *taps, std::function<void(const CGEvent &event)> act);

    void pass(const CGEvent &event);
    // A pointer move without a button: it waits for no tap (only listening taps take moves), but
    // behind events that wait it waits too. The pointer is watched on a connection of its own, so a
    // move may come before the release that was made before it: behind a press it waits for that.
    void passMove(const CGEvent &event);
    // A program's active tap, or its copy of the tiles, came, or a program is no longer waited for:
    // the events held for it may go on.
    void programCame();

private:
    struct Held {
        CGEvent event;
        QSet<quint64> given; // the taps it has been sent to
    };

    void passHeld();
    void takeMovesAfterRelease();

    TapHub *m_taps;
    std::function<void(const CGEvent &event)> m_act;
    QList<Held> m_held;
    QList<CGEvent> m_movesAfterRelease;
    bool m_buttonDown = false;
    QTimer m_deadline;
    QElapsedTimer m_since;
};
