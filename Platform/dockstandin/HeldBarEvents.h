#pragma once

#include "Platform/EventTaps.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

// The bar's pointer events while the programs that had an active tap in the Dock before this one
// have not installed it again. On the platform a tap outlives a Dock restart, so a click the program
// would have taken never reaches the Dock; here the taps come back only when each program notices
// the new Dock, and a click meanwhile waits here. Once every one of them is back, or the deadline
// has passed, the events go on through the taps in the order they came. Nothing waits: the last
// return or the deadline's timer lets them go.
class HeldBarEvents : public QObject {
    Q_OBJECT
public:
    // Long enough for a program under a sanitizer on a busy machine to notice the new Dock; short
    // enough that a program that does not come back costs a click only a moment's delay.
    static constexpr int defaultDeadlineMilliseconds = 3000;

    using Delivery = std::function<void(const CGEvent &event)>;

    explicit HeldBarEvents(Delivery delivery, int deadlineMilliseconds = defaultDeadlineMilliseconds);

    // The processes whose taps are expected back; set before `start`.
    void expect(const QList<qint64> &processes);
    // From the moment the Dock answers: the deadline runs.
    void start();

    bool isHolding() const { return !m_expected.isEmpty(); }
    // While holding, keeps the event for later; false when nothing is held and it goes on at once.
    bool hold(const CGEvent &event);
    // A process installed an active tap.
    void tapInstalled(qint64 process);

private:
    void release(const char *why);

    Delivery m_delivery;
    QList<qint64> m_expected;
    QList<CGEvent> m_held;
    QTimer m_deadline;
    QElapsedTimer m_since;
};
