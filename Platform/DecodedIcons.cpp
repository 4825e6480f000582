#include "Platform/DecodedIcons.h"

#include "Platform/logging/LoggedText.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(iconsLog, "com.kestrowan.app.app", QtInfoMsg)

qint64 bytesOf(const QImage &picture)
{
    return picture.sizeInBytes();
}

} // namespace

DecodedIcons::DecodedIcons(std::unique_ptr<IconDecoder> decoder, QObject *parent)
    : QObject(parent), m_decoder(decoder ? std::move(decoder) : IconDecoder::createDefault())
{
    connect(m_decoder.get(), &IconDecoder::decoded, this, &DecodedIcons::answered);
}

DecodedIcons::~DecodedIcons()
{
    forgetShared(this);
    m_decoder->cancelAll();
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
        m_entries.insert(key, Entry{{stamp, {}, true, ++m_clock}});
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
    return m_toAsk.isEmpty() && std::none_of(m_entries.cbegin(), m_entries.cend(), [](const Entry &entry) { return entry.pending; });
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
    m_decoder->cancelAll();
    const std::lock_guard lock(m_mutex);
    m_entries.removeIf([](const QHash<QString, Entry>::iterator it) { return it->pending; });
    m_toAsk.clear();
}
