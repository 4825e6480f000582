#include "Platform/dockstandin/HeldBarEvents.h"

#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(heldLog, "com.kestrowan.dock.taps")

} // namespace

HeldBarEvents::HeldBarEvents(Delivery delivery, int deadlineMilliseconds)
    : m_delivery(std::move(delivery))
{
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    m_deadline.setInterval(deadlineMilliseconds);
    connect(&m_deadline, &QTimer::timeout, this, [this] { release("not every tap came back in time"); });
}

void HeldBarEvents::expect(const QList<qint64> &processes)
{
    m_expected = processes;
}

void HeldBarEvents::start()
{
    if (m_expected.isEmpty())
        return;
    qCInfo(heldLog, "Holding the bar's clicks until the taps of %d programs are back, at most %d ms",
           int(m_expected.size()), m_deadline.interval());
    m_since.start();
    m_deadline.start();
}

bool HeldBarEvents::hold(const CGEvent &event)
{
    if (m_expected.isEmpty())
        return false;
    m_held.append(event);
    return true;
}

void HeldBarEvents::tapInstalled(qint64 process)
{
    if (!m_expected.removeOne(process) || !m_expected.isEmpty())
        return;
    release("every tap is back");
}

void HeldBarEvents::release(const char *why)
{
    m_expected.clear();
    m_deadline.stop();
    const QList<CGEvent> held = std::exchange(m_held, {});
    qCInfo(heldLog, "Passing %d held bar events on after %lld ms: %s", int(held.size()),
           m_since.isValid() ? qlonglong(m_since.elapsed()) : 0LL, why);
    for (const CGEvent &event : held)
        m_delivery(event);
}
