#include "Platform/SeenPaths.h"

#include "Platform/ApplicationInstance.h"
#include "Platform/DecodedIcons.h"
#include "Platform/MainThread.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>

namespace {

qint64 monotonicMs()
{
    static QElapsedTimer clock;
    static const bool started = (clock.start(), true);
    Q_UNUSED(started)
    return clock.elapsed();
}

struct Kept {
    SeenPaths::Seen seen;
    qint64 lookedAt = 0;
};

// The main thread's knowledge, and the paths it has asked to be looked at in this turn of the
// event loop (in the order asked) or that are being looked at now.
struct Store {
    QHash<QString, Kept> paths;
    QStringList toLook;
    // When each was handed over to be looked at: work the icons' thread dropped (as they ended) is
    // asked for again after a while.
    QHash<QString, qint64> looking;
};

constexpr qint64 lookingGivenUpAfterMs = 10000;

Store &store()
{
    // Never destroyed: it holds plain values only, and outlives any lookup made as the program ends.
    static auto *kept = new Store;
    return *kept;
}

// A popup of thousands is a few hundred kilobytes of this; a store past the limit starts afresh.
constexpr qsizetype keptLimit = 50000;

void keep(const QList<std::pair<QString, SeenPaths::Seen>> &seen)
{
    Store &kept = store();
    if (kept.paths.size() + seen.size() > keptLimit)
        kept.paths.clear();
    const qint64 now = monotonicMs();
    QStringList changed;
    for (const auto &[path, what] : seen) {
        kept.looking.remove(path);
        const auto found = kept.paths.constFind(path);
        if (found == kept.paths.cend() || !(found->seen == what))
            changed.append(path);
        kept.paths.insert(path, Kept{what, now});
    }
    if (DecodedIcons *icons = DecodedIcons::shared()) {
        for (const QString &path : std::as_const(changed))
            icons->announce(path);
    }
}

void lookBeside(const QStringList &paths, std::function<void(const QString &, const SeenPaths::Seen &)> then)
{
    DecodedIcons *icons = DecodedIcons::shared();
    if (!icons || paths.isEmpty())
        return;
    icons->runBeside([paths, then = std::move(then)] {
        QList<std::pair<QString, SeenPaths::Seen>> seen;
        seen.reserve(paths.size());
        for (const QString &path : paths) {
            seen.append({path, SeenPaths::look(path)});
            if (then)
                then(path, seen.last().second);
        }
        postToMainThread([seen = std::move(seen)] { keep(seen); });
    });
}

void lookAtAsked()
{
    Store &kept = store();
    lookBeside(std::exchange(kept.toLook, {}), {});
}

} // namespace

namespace SeenPaths {

Seen look(const QString &path)
{
    Seen seen;
    seen.stamp = FileStamp::of(path);
    if (!seen.stamp.exists)
        return seen;
    const QFileInfo info(path);
    seen.isDir = info.isDir();
    seen.isFile = info.isFile();
    const QMimeDatabase types;
    if (seen.isDir) {
        seen.mimeType = QStringLiteral("inode/directory");
    } else {
        // A regular file is typed by its name and first bytes, so one without an extension still
        // gets a type; anything else (a pipe, a device) by its name only: reading it could block.
        const QMimeType type = types.mimeTypeForFile(info, seen.isFile ? QMimeDatabase::MatchDefault : QMimeDatabase::MatchExtension);
        if (type.isValid())
            seen.mimeType = type.name();
    }
    return seen;
}

std::optional<Seen> kept(const QString &path)
{
    if (!ApplicationOwnership::onApplicationThread() || !DecodedIcons::shared())
        return look(path);
    Store &kept = store();
    const auto found = kept.paths.constFind(path);
    const qint64 now = monotonicMs();
    const bool stale = found == kept.paths.cend() || now - found->lookedAt >= recheckAfterMs;
    const auto asked = kept.looking.constFind(path);
    if (stale && (asked == kept.looking.cend() || now - *asked >= lookingGivenUpAfterMs)) {
        kept.looking.insert(path, now);
        if (kept.toLook.isEmpty())
            postToMainThread(lookAtAsked);
        kept.toLook.append(path);
    }
    if (found == kept.paths.cend())
        return std::nullopt;
    return found->seen;
}

void prepare(const QStringList &paths, std::function<void(const QString &, const Seen &)> then)
{
    Store &kept = store();
    const qint64 now = monotonicMs();
    for (const QString &path : paths)
        kept.looking.insert(path, now);
    lookBeside(paths, std::move(then));
}

} // namespace SeenPaths
