#include "Kestrowan/icons/PreviewPictures.h"

#include "Kestrowan/icons/ItemPreview.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/DecodedIcons.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

PreviewPictures::PreviewPictures(std::unique_ptr<PreviewRenderer> renderer, QObject *parent)
    : QObject(parent), m_renderer(renderer ? std::move(renderer) : PreviewRenderer::createDefault())
{
    connect(m_renderer.get(), &PreviewRenderer::rendered, this, &PreviewPictures::arrived);
}

PreviewPictures::~PreviewPictures()
{
    forgetShared(this);
    m_renderer->cancelAll();
}

std::optional<PreviewPictures::Kind> PreviewPictures::kindForExtension(const QString &ext)
{
    if (ItemPreview::isPreviewImageExtension(ext))
        return Kind::Picture;
    if (ItemPreview::isPreviewPDFExtension(ext))
        return Kind::PdfPage;
    if (ItemPreview::isPreviewVideoExtension(ext))
        return Kind::VideoFrame;
    return std::nullopt;
}

PreviewPictures::Lookup PreviewPictures::lookup(Kind kind, const QString &path)
{
    return lookupAt(kind, path, FileStamp::of(path), [&path] { return QFileInfo(path).isFile(); });
}

PreviewPictures::Lookup PreviewPictures::lookupSeen(Kind kind, const QString &path, const FileStamp &stamp, bool isFile)
{
    return lookupAt(kind, path, stamp, [isFile] { return isFile; });
}

PreviewPictures::Lookup PreviewPictures::lookupAt(Kind kind, const QString &path, const FileStamp &stamp, const std::function<bool()> &isFile)
{
    {
        const std::lock_guard lock(m_mutex);
        const auto found = m_entries.find(path);
        const qint64 now = FailedDocuments::nowMs();
        if (found != m_entries.end() && (found->pending || found->stamp == stamp)
            && (found->pending || !found->picture.isNull() || !m_failures.mayTry(path, stamp, now))) {
            found->used = ++m_clock;
            if (found->pending)
                return {State::Pending, {}};
            const Lookup answer{found->picture.isNull() ? State::Failed : State::Ready, found->picture};
            // Drawn now: from here on it counts like any other, and may make room for the next.
            if (std::exchange(found->undrawnUntilMs, 0) != 0)
                dropOldest(now);
            return answer;
        }
        // Nothing is there to decode: no helper is started for it.
        if (!stamp.exists || !isFile() || !m_failures.mayTry(path, stamp, now))
            return {State::Failed, {}};
        if (found != m_entries.end())
            m_bytes -= found->picture.sizeInBytes();
        m_entries.insert(path, Entry{{stamp, {}, true, ++m_clock}});
        dropOldest(now);
    }
    QMetaObject::invokeMethod(this, [this, kind, path] { m_renderer->render(kind, path); }, Qt::QueuedConnection);
    return {State::Pending, {}};
}

void PreviewPictures::dropOldest(qint64 nowMs)
{
    // Only answers count: those still on their way hold nothing yet, and a popup of more documents
    // than the limit asks for all of its pictures at once. Answers often come many to a turn of
    // the event loop, before any view is drawn: those not yet drawn stay (for a while) even beyond
    // the limits, and the drawn ones make room.
    for (;;) {
        qsizetype answers = 0;
        auto oldest = m_entries.end();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->pending)
                continue;
            ++answers;
            if (it->undrawnUntilMs > nowMs)
                continue;
            if (oldest == m_entries.end() || it->used < oldest->used)
                oldest = it;
        }
        if ((answers <= countLimit && m_bytes <= byteLimit) || oldest == m_entries.end())
            return;
        m_bytes -= oldest->picture.sizeInBytes();
        m_entries.erase(oldest);
    }
}

qsizetype PreviewPictures::keptBytes() const
{
    const std::lock_guard lock(m_mutex);
    return m_bytes;
}

void PreviewPictures::arrived(const QString &path, const QImage &arrivedPicture, const QString &failure, bool transient)
{
    // Kept at the pixels its card draws it with, not as decoded (a quarter of a megabyte or more).
    const QImage picture = ItemPreview::photoCardPicture(arrivedPicture);
    {
        const std::lock_guard lock(m_mutex);
        const auto found = m_entries.find(path);
        if (found == m_entries.end())
            return;
        found->pending = false;
        // The newest of all: its views draw it next, and must still find it then.
        found->used = ++m_clock;
        const qint64 now = FailedDocuments::nowMs();
        found->undrawnUntilMs = now + undrawnKeptMs;
        m_bytes += picture.sizeInBytes() - found->picture.sizeInBytes();
        found->picture = picture;
        if (picture.isNull())
            m_failures.failed(path, found->stamp, transient, now);
        else
            m_failures.succeeded(path);
        dropOldest(now);
    }
    if (!failure.isEmpty())
        qCInfo(appLogger, "No preview picture of \"%s\": %s", qUtf8Printable(QFileInfo(path).fileName()),
               qUtf8Printable(failure));
    emit pictureArrived(path);
    settleWaiters(false);
}

bool PreviewPictures::isPending(const QString &path) const
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_entries.constFind(path);
    return found != m_entries.cend() && found->pending;
}

void PreviewPictures::whenDrawn(const QList<AppItem> &items, int timeoutMs, QObject *context, std::function<void()> done,
                                std::function<QStringList()> pendingIcons)
{
    auto waiter = std::make_shared<Waiter>();
    waiter->context = context;
    waiter->hasContext = context != nullptr;
    waiter->done = std::move(done);
    if (pendingIcons) {
        const QStringList files = pendingIcons();
        waiter->icons = QSet<QString>(files.cbegin(), files.cend());
        waiter->pendingIcons = std::move(pendingIcons);
        DecodedIcons *icons = DecodedIcons::shared();
        if (!waiter->icons.isEmpty() && icons && !std::exchange(m_followsIcons, true))
            connect(icons, &DecodedIcons::arrived, this, &PreviewPictures::iconArrived);
        if (!icons)
            waiter->icons.clear();
    }
    for (const AppItem &item : items) {
        if (item.itemKind() == AppItem::Kind::App)
            continue;
        const std::optional<Kind> kind = kindForExtension(ItemPreview::pathExtension(item.path));
        if (kind && lookup(*kind, item.path).state == State::Pending)
            waiter->paths.append(item.path);
    }
    if (waiter->paths.isEmpty() && waiter->icons.isEmpty()) {
        waiter->done();
        return;
    }
    waiter->timer = new QTimer(this);
    waiter->timer->setSingleShot(true);
    connect(waiter->timer, &QTimer::timeout, this, [this, weak = std::weak_ptr<Waiter>(waiter)] {
        const std::shared_ptr<Waiter> expired = weak.lock();
        if (!expired || !m_waiters.removeOne(expired))
            return;
        expired->timer->deleteLater();
        if (!expired->hasContext || expired->context)
            expired->done();
    });
    waiter->timer->start(timeoutMs);
    m_waiters.append(waiter);
}

void PreviewPictures::settleWaiters(bool all)
{
    const QList<std::shared_ptr<Waiter>> waiters = m_waiters;
    for (const std::shared_ptr<Waiter> &waiter : waiters) {
        const bool settled = all || (waiter->icons.isEmpty() && std::none_of(waiter->paths.cbegin(), waiter->paths.cend(),
                                                                           [this](const QString &path) { return isPending(path); }));
        if (!settled || !m_waiters.removeOne(waiter))
            continue;
        waiter->timer->deleteLater();
        if (!waiter->hasContext || waiter->context)
            waiter->done();
    }
}

void PreviewPictures::iconArrived(const QString &file)
{
    bool drained = false;
    for (const std::shared_ptr<Waiter> &waiter : std::as_const(m_waiters)) {
        if (!waiter->icons.remove(file) || !waiter->icons.isEmpty())
            continue;
        // A file asked for at another size meanwhile may still be on its way.
        const QStringList files = waiter->pendingIcons();
        waiter->icons = QSet<QString>(files.cbegin(), files.cend());
        drained = drained || waiter->icons.isEmpty();
    }
    if (drained)
        settleWaiters(false);
}

void PreviewPictures::cancelAll()
{
    m_renderer->cancelAll();
    {
        const std::lock_guard lock(m_mutex);
        m_entries.removeIf([](const QHash<QString, Entry>::iterator it) { return it->pending; });
    }
    // Nobody waits for pictures that no longer come.
    const QList<std::shared_ptr<Waiter>> waiters = std::exchange(m_waiters, {});
    for (const std::shared_ptr<Waiter> &waiter : waiters)
        waiter->timer->deleteLater();
}
