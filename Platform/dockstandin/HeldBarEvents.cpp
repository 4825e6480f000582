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

namespace {

bool isPress(CGEventType type)
{
    return type == CGEventType::LeftMouseDown || type == CGEventType::RightMouseDown || type == CGEventType::OtherMouseDown;
}

bool isRelease(CGEventType type)
{
    return type == CGEventType::LeftMouseUp || type == CGEventType::RightMouseUp || type == CGEventType::OtherMouseUp;
}

} // namespace

void HeldBarEvents::pass(const CGEvent &event)
{
    const bool release = isRelease(event.type);
    const bool wasEmpty = m_held.isEmpty();
    if (!release)
        takeMovesAfterRelease();
    m_held.append(Held{event, {}});
    if (release)
        takeMovesAfterRelease();
    if (isPress(event.type) || release)
        m_buttonDown = isPress(event.type);
    // Behind one that waits, an event waits too.
    if (wasEmpty)
        passHeld();
}

void HeldBarEvents::passMove(const CGEvent &event)
{
    if (m_held.isEmpty() && m_movesAfterRelease.isEmpty()) {
        m_taps->deliver(event, CGEventTapLocation::HID);
        return;
    }
    if (m_buttonDown)
        m_movesAfterRelease.append(event);
    else
        m_held.append(Held{event, {}});
}

void HeldBarEvents::takeMovesAfterRelease()
{
    for (const CGEvent &move : std::exchange(m_movesAfterRelease, {}))
        m_held.append(Held{move, {}});
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
