#include "Platform/DecodedIcons.h"

#include "Platform/logging/LoggedText.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(iconsLog, "com.kestrowan.app.app", QtInfoMsg)

qint64 bytesOf(const QImage &picture)
{
    return picture.sizeInBytes();
}

qint64 monotonicMs()
{
    static QElapsedTimer clock;
    static const bool started = (clock.start(), true);
    Q_UNUSED(started)
    return clock.elapsed();
}

} // namespace

DecodedIcons::DecodedIcons(std::unique_ptr<IconDecoder> decoder, QObject *parent)
    : QObject(parent), m_decoder(decoder ? std::move(decoder) : IconDecoder::createDefault())
{
    // One piece of work at a time, in the order handed over; the thread ends when idle.
    m_beside.setMaxThreadCount(1);
    connect(m_decoder.get(), &IconDecoder::decoded, this, &DecodedIcons::answered);
}

DecodedIcons::~DecodedIcons()
{
    forgetShared(this);
    m_beside.clear();
    m_beside.waitForDone();
    m_decoder->cancelAll();
}

void DecodedIcons::runBeside(std::function<void()> work)
{
    {
        const std::lock_guard lock(m_mutex);
        ++m_workBeside;
    }
    startBeside([this, work = std::move(work)] {
        work();
        // After what the work posted to the main thread: until then, a picture may be on its way.
        QMetaObject::invokeMethod(this, [this] {
            const std::lock_guard lock(m_mutex);
            --m_workBeside;
        }, Qt::QueuedConnection);
    });
}

void DecodedIcons::startBeside(std::function<void()> work)
{
    m_beside.start([this, work = std::move(work), round = m_round.load()] {
        // Work handed over before cancelAll() is dropped unrun.
        if (round == m_round.load())
            work();
    });
}

QString DecodedIcons::keyOf(const QString &path, int side, Fit fit)
{
    return QString::number(side) + fileKeyOf(path, fit);
}

QString DecodedIcons::fileKeyOf(const QString &path, Fit fit)
{
    return (fit == Fit::Stretch ? u's' : u'w') + path;
}

DecodedIcons::Lookup DecodedIcons::lookup(const QString &path, int side, Fit fit)
{
    side = std::clamp(side, 1, IconDrawing::maximumSide);
    return ApplicationOwnership::onApplicationThread() ? lookupKept(path, side, fit) : lookupLooking(path, side, fit);
}

DecodedIcons::Lookup DecodedIcons::lookupCurrent(const QString &path, int side, Fit fit)
{
    return lookupLooking(path, std::clamp(side, 1, IconDrawing::maximumSide), fit);
}

DecodedIcons::Lookup DecodedIcons::lookupKept(const QString &path, int side, Fit fit)
{
    const QString key = keyOf(path, side, fit);
    const qint64 now = monotonicMs();
    bool checkQueued = false;
    Lookup result{State::Pending, {}};
    {
        const std::lock_guard lock(m_mutex);
        auto found = m_entries.find(key);
        if (found != m_entries.end() && !found->pending && found->retryAt != 0
            && QDateTime::currentMSecsSinceEpoch() >= found->retryAt) {
            m_keptBytes -= bytesOf(found->picture);
            m_entries.erase(found);
            found = m_entries.end();
        }
        if (found != m_entries.end()) {
            found->used = ++m_clock;
            if (!found->pending) {
                // Drawn from what is kept; a change of the file, seen beside, is told by `arrived`.
                if (!found->unchecked && now - found->checkedAt >= recheckAfterMs)
                    checkLater(path);
                result = {found->picture.isNull() ? State::Failed : State::Ready, found->picture};
            }
        } else {
            Entry entry;
            entry.used = ++m_clock;
            entry.unchecked = true;
            m_entries.insert(key, entry);
            QList<std::pair<int, Fit>> &asked = m_asked[path];
            if (!asked.contains(std::pair(side, fit)))
                asked.append({side, fit});
            checkLater(path);
        }
        checkQueued = !m_toCheck.isEmpty() && !std::exchange(m_checkQueued, true);
    }
    // Every lookup of one turn of the event loop is looked at together.
    if (checkQueued)
        QMetaObject::invokeMethod(this, &DecodedIcons::startChecks, Qt::QueuedConnection);
    return result;
}

void DecodedIcons::checkLater(const QString &path)
{
    // In the order asked: the decoder takes the files in that order, the first drawn first.
    if (!m_toCheck.contains(path)) {
        m_toCheck.insert(path);
        m_checkOrder.append(path);
    }
}

void DecodedIcons::startChecks()
{
    QStringList paths;
    {
        const std::lock_guard lock(m_mutex);
        m_checkQueued = false;
        paths = std::exchange(m_checkOrder, {});
        m_toCheck.clear();
    }
    if (paths.isEmpty())
        return;
    // Not counted as work that may bring a picture: a file asked for first waits as a pending entry,
    // and a kept one that changed is told through `arrived`.
    startBeside([this, paths] {
        const QHash<QString, Seen> seen = look(paths);
        // Dropped should the icons go first: the answer is posted to them.
        QMetaObject::invokeMethod(this, [this, paths, seen] { checked(paths, seen); }, Qt::QueuedConnection);
    });
}

QHash<QString, DecodedIcons::Seen> DecodedIcons::look(const QStringList &paths)
{
    QHash<QString, Seen> seen;
    for (const QString &path : paths) {
        if (!seen.contains(path))
            seen.insert(path, Seen{FileStamp::of(path), QFileInfo(path).isFile()});
    }
    return seen;
}

void DecodedIcons::lookBeside(const QList<Wanted> &wanted)
{
    QStringList paths;
    QList<Wanted> clamped;
    for (Wanted one : wanted) {
        one.side = std::clamp(one.side, 1, IconDrawing::maximumSide);
        paths.append(one.path);
        clamped.append(one);
    }
    paths.removeDuplicates();
    const QHash<QString, Seen> seen = look(paths);
    QMetaObject::invokeMethod(this, [this, paths, seen, clamped] { checked(paths, seen, clamped); }, Qt::QueuedConnection);
}

void DecodedIcons::checked(const QStringList &order, const QHash<QString, Seen> &seen, const QList<Wanted> &wanted)
{
    const qint64 now = monotonicMs();
    QStringList changed;
    bool asking = false;
    {
        const std::lock_guard lock(m_mutex);
        // What was not kept is asked for with the rest; what changed is decoded anew for them below.
        const auto want = [this](const Wanted &one) {
            const QString key = keyOf(one.path, one.side, one.fit);
            if (m_entries.contains(key))
                return;
            Entry entry;
            entry.used = ++m_clock;
            entry.unchecked = true;
            m_entries.insert(key, entry);
            QList<std::pair<int, Fit>> &asked = m_asked[one.path];
            if (!asked.contains(std::pair(one.side, one.fit)))
                asked.append({one.side, one.fit});
        };
        for (const Wanted &one : wanted)
            want(one);
        for (const QString &path : order) {
            const Seen file = seen.value(path);
            bool tell = false;
            for (const auto &[side, fit] : m_asked.value(path)) {
                const auto found = m_entries.find(keyOf(path, side, fit));
                if (found == m_entries.end())
                    continue;
                if (found->unchecked) {
                    found->unchecked = false;
                    found->stamp = file.stamp;
                    found->checkedAt = now;
                    const auto failed = m_failedFiles.constFind(fileKeyOf(path, fit));
                    // Nothing is there to decode, or it gave nothing at another size: no helper is
                    // started for it.
                    if (!file.stamp.exists || !file.isFile || (failed != m_failedFiles.cend() && *failed == file.stamp)) {
                        found->pending = false;
                        tell = true;
                    } else {
                        m_toAsk.append(IconDecoder::Request{path, {side}, fit});
                        asking = true;
                    }
                } else if (found->pending) {
                    continue; // its answer is on its way
                } else if (found->stamp == file.stamp) {
                    found->checkedAt = now;
                } else {
                    // Changed since it was decoded: its views ask again, and it is decoded anew.
                    m_keptBytes -= bytesOf(found->picture);
                    m_entries.erase(found);
                    tell = true;
                }
            }
            if (tell)
                changed.append(path);
        }
        // A wanted size whose kept picture was of an older state is asked for now, not only once
        // a view draws it again.
        for (const Wanted &one : wanted) {
            const auto found = m_entries.constFind(keyOf(one.path, one.side, one.fit));
            const Seen file = seen.value(one.path);
            const auto failed = m_failedFiles.constFind(fileKeyOf(one.path, one.fit));
            if (found != m_entries.cend() || !file.isFile || (failed != m_failedFiles.cend() && *failed == file.stamp))
                continue;
            want(one);
            Entry &entry = m_entries[keyOf(one.path, one.side, one.fit)];
            entry.unchecked = false;
            entry.stamp = file.stamp;
            entry.checkedAt = now;
            m_toAsk.append(IconDecoder::Request{one.path, {one.side}, one.fit});
            asking = true;
        }
    }
    if (asking)
        ask();
    for (const QString &path : std::as_const(changed))
        emit arrived(path);
}

DecodedIcons::Lookup DecodedIcons::lookupLooking(const QString &path, int side, Fit fit)
{
    const QString key = keyOf(path, side, fit);
    const FileStamp stamp = FileStamp::of(path);
    bool queue = false;
    {
        const std::lock_guard lock(m_mutex);
        const auto found = m_entries.find(key);
        if (found != m_entries.end()
            && (found->pending || (found->stamp == stamp && (found->retryAt == 0 || QDateTime::currentMSecsSinceEpoch() < found->retryAt)))) {
            found->used = ++m_clock;
            if (found->pending)
                return {State::Pending, {}};
            found->checkedAt = monotonicMs();
            return {found->picture.isNull() ? State::Failed : State::Ready, found->picture};
        }
        if (found != m_entries.end()) {
            m_keptBytes -= bytesOf(found->picture);
            m_entries.erase(found);
        }
        // Nothing is there to decode, or it gave nothing at another size: no helper is started for it.
        if (!stamp.exists || !QFileInfo(path).isFile())
            return {State::Failed, {}};
        if (const auto failed = m_failedFiles.constFind(fileKeyOf(path, fit)); failed != m_failedFiles.cend() && *failed == stamp)
            return {State::Failed, {}};
        Entry entry;
        entry.stamp = stamp;
        entry.used = ++m_clock;
        entry.checkedAt = monotonicMs();
        m_entries.insert(key, entry);
        QList<std::pair<int, Fit>> &asked = m_asked[path];
        if (!asked.contains(std::pair(side, fit)))
            asked.append({side, fit});
        m_toAsk.append(IconDecoder::Request{path, {side}, fit});
        queue = !std::exchange(m_askQueued, true);
    }
    // Every lookup of one turn of the event loop goes to the decoder together, each file once.
    if (queue)
        QMetaObject::invokeMethod(this, &DecodedIcons::ask, Qt::QueuedConnection);
    return {State::Pending, {}};
}

void DecodedIcons::ask()
{
    QList<IconDecoder::Request> requests;
    {
        const std::lock_guard lock(m_mutex);
        m_askQueued = false;
        QHash<QString, qsizetype> byFile;
        for (const IconDecoder::Request &request : std::as_const(m_toAsk)) {
            const QString file = fileKeyOf(request.path, request.fit);
            const auto found = byFile.constFind(file);
            if (found == byFile.cend()) {
                byFile.insert(file, requests.size());
                requests.append(request);
            } else if (IconDecoder::Request &merged = requests[*found];
                       merged.sides.size() < IconTransfer::maximumSides && !merged.sides.contains(request.sides.first())) {
                merged.sides.append(request.sides.first());
            } else if (!merged.sides.contains(request.sides.first())) {
                requests.append(request);
            }
        }
        m_toAsk.clear();
        m_requests += int(requests.size());
    }
    if (!requests.isEmpty())
        m_decoder->decode(requests);
}

void DecodedIcons::answered(const IconDecoder::Request &request, const QList<QImage> &pictures, const QString &failure, bool transient)
{
    {
        const std::lock_guard lock(m_mutex);
        if (pictures.isEmpty() && !transient) {
            const auto any = m_entries.constFind(keyOf(request.path, request.sides.first(), request.fit));
            if (any != m_entries.cend())
                m_failedFiles.insert(fileKeyOf(request.path, request.fit), any->stamp);
        }
        for (qsizetype i = 0; i < request.sides.size(); ++i) {
            const auto found = m_entries.find(keyOf(request.path, request.sides.at(i), request.fit));
            if (found == m_entries.end() || !found->pending)
                continue;
            found->pending = false;
            found->picture = i < pictures.size() ? pictures.at(i) : QImage();
            found->retryAt = transient ? QDateTime::currentMSecsSinceEpoch() + retryAfterMs : 0;
            found->used = ++m_clock;
            m_keptBytes += bytesOf(found->picture);
        }
        keepWithinBudget();
    }
    if (!failure.isEmpty())
        qCInfo(iconsLog, "No picture of the icon \"%s\": %s", qUtf8Printable(loggedText(request.path)), qUtf8Printable(failure));
    emit arrived(request.path);
}

void DecodedIcons::keepWithinBudget()
{
    while (m_keptBytes > byteBudget) {
        auto oldest = m_entries.end();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (!it->pending && !it->picture.isNull() && (oldest == m_entries.end() || it->used < oldest->used))
                oldest = it;
        }
        if (oldest == m_entries.end())
            return;
        m_keptBytes -= bytesOf(oldest->picture);
        m_entries.erase(oldest);
    }
}

bool DecodedIcons::isIdle() const
{
    const std::lock_guard lock(m_mutex);
    return m_workBeside == 0 && m_toAsk.isEmpty() && std::none_of(m_entries.cbegin(), m_entries.cend(), [](const Entry &entry) { return entry.pending; });
}

qint64 DecodedIcons::keptBytes() const
{
    const std::lock_guard lock(m_mutex);
    return m_keptBytes;
}

int DecodedIcons::requestCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

void DecodedIcons::cancelAll()
{
    ++m_round;
    m_decoder->cancelAll();
    const std::lock_guard lock(m_mutex);
    m_entries.removeIf([](const QHash<QString, Entry>::iterator it) { return it->pending; });
    m_toAsk.clear();
    m_toCheck.clear();
    m_checkOrder.clear();
}
