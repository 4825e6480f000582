#pragma once

#include "Kestrowan/groups/AppItem.h"
#include "Kestrowan/icons/FailedDocuments.h"
#include "Platform/ApplicationInstance.h"
#include "Platform/FileStamp.h"
#include "Platform/PictureLookup.h"
#include "Platform/PreviewRenderer.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QTimer;

// The pictures the drawn previews show of documents (picture files, PDF pages, video frames), as
// the preview renderer decodes them out of the program. Nothing here waits on a document: a
// picture not yet at hand is asked for and reported as pending, its preview shows the badge, and
// `pictureArrived` tells the views to draw it again once the answer (a picture or none) is in.
// Answers are kept per state of the file (up to `countLimit` files and `byteLimit` bytes of
// pictures), so a document is decoded once until it changes. Lives on the application's thread;
// lookup() is safe from any thread.
class PreviewPictures : public QObject, public ApplicationInstance<PreviewPictures> {
    Q_OBJECT
public:
    static constexpr int countLimit = 128;
    // A picture is kept at the pixels of the card that covers its well with it, so a wide or tall
    // one keeps a whole side of up to 2048 pixels: 128 panoramas would hold 180 MiB.
    static constexpr qsizetype byteLimit = qsizetype(24) * 1024 * 1024;
    // How long a Dock folder's icon waits for its items' pictures before it is drawn with badges.
    static constexpr int drawnWaitMs = 12000;

    using Kind = PreviewRenderer::Kind;
    using Lookup = PictureLookup;
    using State = PictureLookup::State;

    explicit PreviewPictures(std::unique_ptr<PreviewRenderer> renderer = nullptr, QObject *parent = nullptr);
    ~PreviewPictures() override;

    // The kind of picture a preview of a file with the lower-cased extension `ext` shows, if any.
    static std::optional<Kind> kindForExtension(const QString &ext);

    // What is known of the file's picture now; asks the renderer when nothing is known of the
    // file's current state.
    Lookup lookup(Kind kind, const QString &path);
    // The same for the file in the state `stamp` (a regular file when `isFile`), as what was seen
    // of it beside the main thread tells: the file itself is not looked at.
    Lookup lookupSeen(Kind kind, const QString &path, const FileStamp &stamp, bool isFile);

    // Calls `done` once the pictures of the items are known (at once, when they are), or after
    // `timeoutMs`, whichever comes first; never when `context` is gone by then. With `pendingIcons`,
    // also once none of the icon and layer files it names (as DecodedIcons decodes them) is still
    // on its way; it is asked again when those it named have arrived.
    void whenDrawn(const QList<AppItem> &items, int timeoutMs, QObject *context, std::function<void()> done,
                   std::function<QStringList()> pendingIcons = {});

    // Ends the renders under way; what was pending is asked for again at the next lookup.
    void cancelAll();

    // The bytes of the pictures kept now.
    qsizetype keptBytes() const;

signals:
    // An answer for the file arrived: previews of it can be drawn again.
    void pictureArrived(const QString &path);

private:
    struct Entry : KeptPicture {
        // Until then (on the steady clock) the answer waits for its views to draw it: however many
        // others arrive before they do, it is not dropped, or they would ask for it again.
        qint64 undrawnUntilMs = 0;
    };
    struct Waiter {
        QStringList paths;
        QSet<QString> icons;
        std::function<QStringList()> pendingIcons;
        QPointer<QObject> context;
        bool hasContext = false;
        std::function<void()> done;
        QTimer *timer = nullptr;
    };
    Lookup lookupAt(Kind kind, const QString &path, const FileStamp &stamp, const std::function<bool()> &isFile);
    void arrived(const QString &path, const QImage &picture, const QString &failure, bool transient);
    bool isPending(const QString &path) const;
    void settleWaiters(bool all);
    void iconArrived(const QString &file);
    // Drops the least recently used answers beyond the limits, never one its views have yet to draw.
    void dropOldest(qint64 nowMs);
    // How long an answer nobody has looked at yet is kept beyond the limits.
    static constexpr qint64 undrawnKeptMs = 20000;

    std::unique_ptr<PreviewRenderer> m_renderer;
    mutable std::mutex m_mutex;
    QHash<QString, Entry> m_entries;
    // Outlives the entries: a failed document is not decoded again until it changes, however many
    // other documents passed through meanwhile.
    FailedDocuments m_failures;
    quint64 m_clock = 0;
    qsizetype m_bytes = 0;
    QList<std::shared_ptr<Waiter>> m_waiters;
    bool m_followsIcons = false;
};
