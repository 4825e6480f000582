#include "Platform/dockstandin/HeldBarEvents.h"

#include "Platform/dockstandin/TapHub.h"

#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(heldLog, "com.kestrowan.dock.taps")

} // namespace

HeldBarEvents::HeldBarEvents(TapHub *taps, std::function<void(const CGEvent &event)> act)
    : m_taps(taps)
    , m_act(std::move(act))
{
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &HeldBarEvents::passHeld);
}

void HeldBarEvents::pass(const CGEvent &event)
{
    m_held.append(Held{event, {}});
    // Behind one that waits, an event waits too.
    if (m_held.size() == 1)
        passHeld();
}

void HeldBarEvents::passMove(const CGEvent &event)
{
    if (m_held.isEmpty()) {
        m_taps->deliver(event, CGEventTapLocation::HID);
        return;
    }
    m_held.append(Held{event, {}});
}

void HeldBarEvents::programCame()
{
    if (!m_held.isEmpty())
        passHeld();
}

void HeldBarEvents::passHeld()
{
    qsizetype passed = 0;
    while (passed < m_held.size()) {
        Held &held = m_held[passed];
        const TapHub::Passage passage = m_taps->deliverUnlessAwaited(held.event, CGEventTapLocation::HID, &held.given);
        if (passage == TapHub::Passage::Awaited)
            break;
        const CGEvent event = held.event;
        ++passed;
        if (passage == TapHub::Passage::Passed)
            m_act(event);
    }
    const bool heldBefore = m_since.isValid();
    m_held.remove(0, passed);
    if (m_held.isEmpty()) {
        m_deadline.stop();
        if (heldBefore)
            qCInfo(heldLog, "Passed on the bar's held events after %lld ms", qlonglong(m_since.elapsed()));
        m_since.invalidate();
        return;
    }
    if (!heldBefore) {
        qCInfo(heldLog, "Holding the bar's events until a program's tap is back");
        m_since.start();
    }
    // Asked again once the last awaited tap would be given up on; a tap that comes sooner asks first.
    m_deadline.start(int(std::max<qint64>(m_taps->awaitedFor(), 0)) + 1);
}
