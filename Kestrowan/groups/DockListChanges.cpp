#include "Kestrowan/groups/DockListChanges.h"

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/DockPreferences.h"
#include "Platform/PropertyList.h"
#include "Platform/logging/SystemErrorText.h"

#include <utility>

namespace {

const QString persistentOthersKey = QStringLiteral("persistent-others");

// Another writer holds the lock only while it writes one file; one that holds it longer than this
// is stuck (stopped, or on a network home gone away), and the change is given up.
constexpr qint64 longestLockWaitMilliseconds = 15000;
constexpr int firstRetryMilliseconds = 2;
constexpr int longestRetryMilliseconds = 50;
// Writers that take no lock (an older program) could overwrite a write again and again.
constexpr int mostWritesPerChange = 4;

// The list as stored, for a change: nullopt, logged, when it cannot be taken as a list, so that
// nothing replaces tiles the program cannot see. Elements that are not tiles stay as they are, in
// their place; the program only ever matches and changes tiles.
std::optional<QVariantList> readElementsForChange()
{
    const std::optional<QVariantMap> domain = DockPreferences::shared().read();
    if (!domain) {
        qCCritical(persistenceLogger, "Dock preferences cannot be read; Dock items left unchanged.");
        return std::nullopt;
    }
    const QVariant stored = domain->value(persistentOthersKey);
    if (!stored.isValid())
        return QVariantList();
    if (stored.typeId() != QMetaType::QVariantList) {
        qCCritical(persistenceLogger, "Dock items are not a list; Dock items left unchanged.");
        return std::nullopt;
    }
    return stored.toList();
}

// The stored list as a read-back sees it: a missing key is an empty list, anything else not a list
// is none.
std::optional<QVariantList> readBack()
{
    const QVariant stored = DockPreferences::shared().value(persistentOthersKey);
    if (!stored.isValid())
        return QVariantList();
    if (stored.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    return stored.toList();
}

bool holds(const std::optional<QVariantList> &stored, const QVariantList &list)
{
    return stored && PropertyList::sameValue(QVariant(*stored), QVariant(list));
}

enum class WriteResult { Confirmed, Failed, Overwritten };

void logRefused()
{
    qCCritical(persistenceLogger,
               "Failed to update Dock items. System may block access (check Privacy & Security > App Management).");
    DockService::markSyncBlocked(DockService::syncBlockedReason);
}

// Writes, then reads back: only the very elements written count as confirmation, so a system that
// keeps the old list (even one of the same length) is caught. The comparison is the property list's
// own, in which a stored real that is not a number still equals itself.
WriteResult confirmedWrite(const QVariantList &written, const QVariantList &before)
{
    DockPreferences &preferences = DockPreferences::shared();
    const QByteArray versionBefore = preferences.storedVersion();
    int error = 0;
    const bool stored = preferences.write(persistentOthersKey, written, &error);
    DockService::setLastWriteError(stored ? 0 : error);
    if (!stored && error != 0) {
        // The disk, not the system, said no (a full disk): no block, and the log says what happened.
        qCCritical(persistenceLogger, "Failed to update Dock items: %s", qUtf8Printable(systemErrorText(error)));
        return WriteResult::Failed;
    }
    if (!stored) {
        logRefused();
        return WriteResult::Failed;
    }
    // A look that differs is taken again before anything is concluded from it.
    for (int look = 0; look < 2; ++look) {
        if (holds(readBack(), written)) {
            // The Dock takes changes again: a block from an earlier refusal is over. (A list
            // written back unchanged says nothing of that.)
            if (!PropertyList::sameValue(QVariant(written), QVariant(before)))
                DockService::clearSyncBlock();
            return WriteResult::Confirmed;
        }
    }
    // The old list still there and nothing stored since the look before the write: the write was
    // refused. The old list stored anew is another writer's (one that put back what it had read),
    // and like anything else another program wrote meanwhile, the change is made again on it.
    if (holds(readBack(), before)) {
        const QByteArray versionAfter = preferences.storedVersion();
        if (versionBefore.isEmpty() || versionAfter == versionBefore) {
            logRefused();
            return WriteResult::Failed;
        }
    }
    return WriteResult::Overwritten;
}

} // namespace

DockListChanges &DockListChanges::instance()
{
    static DockListChanges *changes = [] {
        auto *made = new DockListChanges;
        made->m_retry.setSingleShot(true);
        connect(&made->m_retry, &QTimer::timeout, made, &DockListChanges::run);
        return made;
    }();
    return *changes;
}

void DockListChanges::change(Editor edit, Finish finish)
{
    m_pending.append(Pending{std::move(edit), std::move(finish)});
    if (!m_retry.isActive())
        run();
}

DockListChanges::Outcome DockListChanges::changeNow(const Editor &edit)
{
    if (const std::optional<Result> result = attempt(edit))
        return result->outcome;
    qCCritical(persistenceLogger, "Dock items left unchanged: another program is changing them.");
    return Outcome::Failed;
}

std::optional<DockListChanges::Result> DockListChanges::attempt(const Editor &edit)
{
    const StoredFileLock lock = DockPreferences::shared().lockForChange();
    if (lock.state() == StoredFileLock::State::HeldElsewhere)
        return std::nullopt;
    if (!lock.isHeld()) {
        qCCritical(persistenceLogger, "Dock items left unchanged: %s", qUtf8Printable(lock.failure()));
        return Result{};
    }
    Result result;
    for (int write = 0; write < mostWritesPerChange; ++write) {
        const std::optional<QVariantList> stored = readElementsForChange();
        if (!stored)
            return Result{};
        result.edit = edit(*stored);
        if (!result.edit.list) {
            result.outcome = Outcome::Unchanged;
            return result;
        }
        switch (confirmedWrite(*result.edit.list, *stored)) {
        case WriteResult::Confirmed:
            result.outcome = Outcome::Written;
            return result;
        case WriteResult::Failed:
            return result;
        case WriteResult::Overwritten:
            break;
        }
    }
    qCCritical(persistenceLogger, "Dock items left unchanged: another program kept writing over them.");
    return result;
}

void DockListChanges::run()
{
    // A finish that asks for another change only queues it; this loop makes it.
    if (m_running)
        return;
    m_running = true;
    while (!m_pending.isEmpty()) {
        const std::optional<Result> result = attempt(m_pending.first().edit);
        if (!result) {
            // The changes in the queue wait behind the same holder: they share one wait, measured
            // from the first try that found the lock taken, and are given up together.
            if (!m_lockWait.isValid())
                m_lockWait.start();
            if (m_lockWait.elapsed() < longestLockWaitMilliseconds) {
                m_retryPause = m_retryPause == 0 ? firstRetryMilliseconds : qMin(m_retryPause * 2, longestRetryMilliseconds);
                m_retry.start(m_retryPause);
                break;
            }
            qCCritical(persistenceLogger, "Dock items left unchanged: another program held them for %lld s.",
                       longestLockWaitMilliseconds / 1000);
            m_lockWait.invalidate();
            m_retryPause = 0;
            const QList<Pending> givenUp = std::exchange(m_pending, {});
            for (const Pending &done : givenUp) {
                if (done.finish)
                    done.finish(Outcome::Failed, Edit{});
            }
            continue;
        }
        m_lockWait.invalidate();
        m_retryPause = 0;
        const Pending done = m_pending.takeFirst();
        if (done.finish)
            done.finish(result->outcome, result->edit);
    }
    m_running = false;
}
