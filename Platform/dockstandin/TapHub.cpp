#include "Platform/dockstandin/TapHub.h"

#include "Platform/dockstandin/wire/DockWire.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QMutexLocker>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(tapLog, "com.kestrowan.dock.taps")

QByteArray eventFrame(quint64 identifier, const CGEvent &event)
{
    return DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::event},
                                    {QStringLiteral("id"), qint64(identifier)},
                                    {QStringLiteral("ev"), DockWire::encodeEvent(event)}});
}

} // namespace

TapHub::TapHub(Sender sender, int timeoutMilliseconds)
    : m_sender(std::move(sender))
    , m_timeout(timeoutMilliseconds)
{
}

quint64 TapHub::add(quint64 client, CGEventTapLocation location, bool headInsert, bool listenOnly, quint64 mask, bool enabled,
                    qint64 process)
{
    QMutexLocker lock(&m_mutex);
    const quint64 identifier = m_nextTap++;
    m_taps.append({identifier, client, location, headInsert, listenOnly, mask, enabled, ++m_serial, process});
    if (const auto found = m_awaited.find(process); !listenOnly && process > 0 && found != m_awaited.end()) {
        found->tap = false;
        if (found->restart)
            justBack(process);
        if (!found->copy)
            m_awaited.erase(found);
    }
    return identifier;
}

void TapHub::remove(quint64 tap, bool comesBack)
{
    QMutexLocker lock(&m_mutex);
    const Tap *removed = find(tap);
    // The program behind an active tap that goes; 0 for a listening one.
    const qint64 program = removed && !removed->listenOnly ? removed->process : 0;
    const qint64 process = comesBack ? program : 0;
    m_taps.removeIf([tap](const Tap &t) { return t.identifier == tap; });
    // Awaited in the same step as the tap goes, so that no event passes between; not when another
    // active tap of the program stays.
    const bool anotherStays = std::any_of(m_taps.cbegin(), m_taps.cend(),
                                          [process](const Tap &t) { return t.process == process && !t.listenOnly; });
    const bool awaited = process > 0 && !anotherStays;
    // A program that stops taking clicks, or has ended, is not waited for any more.
    if (!comesBack && program > 0) {
        const qint64 gone = program;
        const bool anotherOfItStays = std::any_of(m_taps.cbegin(), m_taps.cend(),
                                                  [gone](const Tap &t) { return t.process == gone && !t.listenOnly; });
        if (!anotherOfItStays && m_awaited.remove(gone) > 0)
            qCInfo(tapLog, "Process %lld takes no more clicks: the bar's events no longer wait for it", gone);
    }
    if (awaited) {
        const QDeadlineTimer replacement(replacementWaitMilliseconds);
        if (const auto found = m_awaited.find(process); found == m_awaited.end()) {
            m_awaited.insert(process, Awaited{replacement, true, false, false});
        } else {
            found->tap = true;
            if (found->deadline < replacement)
                found->deadline = replacement;
        }
    }
    if (m_pending.tap == tap && !m_pending.pass) {
        // The event it was given goes to the tap that replaces it, not past it.
        if (awaited) {
            m_pending.awaited = true;
        } else {
            m_pending.pass = true;
            qCInfo(tapLog, "A tap went while deciding an event: the event goes on to the taps there are now");
        }
        m_answered.wakeAll();
    }
}

bool TapHub::processEnded(qint64 process)
{
    QMutexLocker lock(&m_mutex);
    if (process <= 0 || m_awaited.remove(process) == 0)
        return false;
    qCInfo(tapLog, "Process %lld has ended: the bar's events no longer wait for it", process);
    return true;
}

QList<qint64> TapHub::awaitedProcesses()
{
    QMutexLocker lock(&m_mutex);
    return m_awaited.keys();
}

void TapHub::awaitTaps(const QList<qint64> &processes, int milliseconds, const QList<qint64> &copies)
{
    if (processes.isEmpty())
        return;
    QMutexLocker lock(&m_mutex);
    for (const qint64 process : processes)
        m_awaited.insert(process, Awaited{QDeadlineTimer(milliseconds), true, copies.contains(process), true});
    qCInfo(tapLog, "The bar's events wait for the taps of %d programs, at most %d ms", int(processes.size()), milliseconds);
}

void TapHub::copySent(qint64 process)
{
    QMutexLocker lock(&m_mutex);
    if (const auto found = m_awaited.find(process); process > 0 && found != m_awaited.end()) {
        found->copy = false;
        if (found->restart)
            justBack(process);
        if (!found->tap)
            m_awaited.erase(found);
    }
}

void TapHub::forgetExpiredWaits()
{
    for (auto it = m_awaited.begin(); it != m_awaited.end();) {
        if (!it->deadline.hasExpired()) {
            ++it;
            continue;
        }
        if (it->tap)
            qCInfo(tapLog, "Process %lld did not put its tap back in time: the bar's events go on without it", it.key());
        else
            qCInfo(tapLog, "Process %lld did not take its copy of the tiles in time: the bar's events go on", it.key());
        it = m_awaited.erase(it);
    }
}

qint64 TapHub::awaitedFor()
{
    QMutexLocker lock(&m_mutex);
    forgetExpiredWaits();
    qint64 longest = -1;
    for (const Awaited &wait : std::as_const(m_awaited))
        longest = std::max(longest, wait.deadline.remainingTime());
    return longest;
}

TapHub::Passage TapHub::deliverUnlessAwaited(const CGEvent &event, CGEventTapLocation from, QSet<quint64> *given)
{
    QMutexLocker lock(&m_mutex);
    forgetExpiredWaits();
    if (!m_awaited.isEmpty())
        return Passage::Awaited;
    return deliverLocked(event, from, given);
}

void TapHub::setEnabled(quint64 tap, bool enabled)
{
    QMutexLocker lock(&m_mutex);
    if (Tap *found = find(tap))
        found->enabled = enabled;
}

void TapHub::resolve(quint64 tap, quint64 event, bool pass)
{
    QMutexLocker lock(&m_mutex);
    // A verdict that comes after its tap was given up on is of no use any more.
    if (m_pending.tap != tap || m_pending.event != event || m_pending.pass)
        return;
    m_pending.pass = pass;
    m_answered.wakeAll();
}

int TapHub::count() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_taps.size());
}

TapHub::Tap *TapHub::find(quint64 tap)
{
    for (Tap &t : m_taps) {
        if (t.identifier == tap)
            return &t;
    }
    return nullptr;
}

QList<TapHub::Tap> TapHub::orderedTaps(const CGEvent &event, CGEventTapLocation from) const
{
    QList<Tap> taps;
    for (const Tap &tap : m_taps) {
        if (tap.enabled && (tap.mask & eventMaskBit(event.type))
            && DockWire::encodeLocation(tap.location) >= DockWire::encodeLocation(from))
            taps.append(tap);
    }
    std::sort(taps.begin(), taps.end(), [](const Tap &a, const Tap &b) {
        return DockWire::tapOrder(a.location, a.headInsert, a.serial) < DockWire::tapOrder(b.location, b.headInsert, b.serial);
    });
    return taps;
}

bool TapHub::deliver(const CGEvent &event, CGEventTapLocation from)
{
    QMutexLocker lock(&m_mutex);
    QSet<quint64> given;
    return deliverLocked(event, from, &given) != Passage::Dropped;
}

void TapHub::justBack(qint64 process)
{
    for (Tap &tap : m_taps) {
        if (tap.process == process && !tap.listenOnly)
            tap.returning = QDeadlineTimer(returnVerdictMilliseconds);
    }
}

TapHub::Passage TapHub::deliverLocked(const CGEvent &event, CGEventTapLocation from, QSet<quint64> *given)
{
    for (;;) {
        // Looked up afresh after each tap: one added while the last was deciding (a program's
        // replacement, in before its old tap's connection closed) is given the event too.
        const QList<Tap> taps = orderedTaps(event, from);
        const auto next = std::find_if(taps.cbegin(), taps.cend(),
                                       [given](const Tap &tap) { return !given->contains(tap.identifier); });
        if (next == taps.cend())
            break;
        const Tap tap = *next;
        given->insert(tap.identifier);
        const quint64 eventIdentifier = m_nextEvent++;
        if (tap.listenOnly) {
            m_sender(tap.client, eventFrame(eventIdentifier, event));
            continue;
        }
        m_pending = Pending{tap.identifier, eventIdentifier, std::nullopt};
        m_sender(tap.client, eventFrame(eventIdentifier, event));
        const int timeout = tap.returning.hasExpired() ? m_timeout : std::max(m_timeout, returnVerdictMilliseconds);
        const QDeadlineTimer deadline(timeout);
        while (!m_pending.pass && !m_pending.awaited && !deadline.hasExpired())
            m_answered.wait(&m_mutex, deadline);
        // A tap that comes near the time it is given is worth a line: the next may run out of it.
        if (const qint64 took = timeout - deadline.remainingTime(); m_pending.pass && took > m_timeout / 4)
            qCInfo(tapLog, "An event tap took %lld ms to answer", took);
        const std::optional<bool> pass = m_pending.pass;
        const bool awaited = m_pending.awaited;
        m_pending = Pending{};
        if (awaited)
            return Passage::Awaited;
        if (pass == false)
            return Passage::Dropped;
        if (!pass) {
            qCWarning(tapLog, "An event tap did not answer within %d ms; it is disabled", timeout);
            if (Tap *slow = find(tap.identifier))
                slow->enabled = false;
            CGEvent notice;
            notice.type = CGEventType::TapDisabledByTimeout;
            notice.location = event.location;
            m_sender(tap.client, eventFrame(m_nextEvent++, notice));
        }
    }
    return Passage::Passed;
}
