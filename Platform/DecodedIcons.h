#pragma once

#include "Platform/ApplicationInstance.h"
#include "Platform/FileStamp.h"
#include "Platform/IconDecoder.h"
#include "Platform/PictureLookup.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

// The pictures of icon and skin layer files, decoded out of the program by the icon decoder and
// kept at the pixel sizes they are drawn at. Nothing here waits: a picture not yet at hand is asked
// for and reported pending (its view draws the generic picture meanwhile), and `arrived` tells the
// views to draw again once the answer is in. A file is decoded once per state for each size; one
// that gave no picture is not asked for again until it changes. What is kept stays within a byte
// budget, the least recently drawn going first. Lives on the application's thread; lookup() is
// safe from any thread.
//
// The main thread never looks at a file here: a window of a thousand icons would stat a thousand
// files before it shows. Its lookups answer from what is kept, and the files are looked at on the
// icons' own thread beside it: a file first asked for there, and one kept longer than
// recheckAfterMs since it was last looked at. A file found changed is decoded anew once its views,
// told through `arrived`, ask again. Lookups from other threads look at the file themselves.
class DecodedIcons : public QObject, public ApplicationInstance<DecodedIcons> {
    Q_OBJECT
public:
    using Fit = IconDrawing::Fit;
    using Lookup = PictureLookup;
    using State = PictureLookup::State;

    static constexpr qint64 byteBudget = 48 * 1024 * 1024;
    // A decoder that could not be started is tried again after this long.
    static constexpr qint64 retryAfterMs = 30000;
    // What was seen of a file holds for the main thread's lookups this long; it is looked at again
    // beside the main thread at the first lookup after that.
    static constexpr qint64 recheckAfterMs = 1000;

    explicit DecodedIcons(std::unique_ptr<IconDecoder> decoder = nullptr, QObject *parent = nullptr);
    ~DecodedIcons() override;

    // What is known of the file's picture at `side` pixels now; asks the decoder when nothing is
    // known of the file's current state at that size.
    Lookup lookup(const QString &path, int side, Fit fit = Fit::Within);
    // Looks at the file on the calling thread, whichever it is: for the few files whose every change
    // must show in the next picture drawn from them (a skin's layers, composed into the Dock's icons).
    Lookup lookupCurrent(const QString &path, int side, Fit fit = Fit::Within);

    // Whether no picture is on its way.
    bool isIdle() const;
    // The bytes of the pictures kept, and the requests handed to the decoder so far.
    qint64 keptBytes() const;
    int requestCount() const;

    // Ends the decoding under way; what was pending is asked for again at the next lookup.
    void cancelAll();

    // Runs `work` on the icons' own thread, beside the main one, after the work handed over before
    // it: what looks at files for the icons, such as fetching what a popup will draw as it opens.
    void runBeside(std::function<void()> work);
    // Tells the views of `path` to draw again: what decides their picture was read beside the main
    // thread (a desktop entry's icon, say).
    void announce(const QString &path) { emit arrived(path); }
    // One picture file at one size a view will draw.
    struct Wanted {
        QString path;
        int side = 0;
        Fit fit = Fit::Within;
    };
    // From the icons' thread (within runBeside()): looks at the files of `wanted` there, and has
    // what is not kept of them decoded, all sizes of a file in one request. Returns at once.
    void lookBeside(const QList<Wanted> &wanted);

signals:
    // An answer for the file arrived (a picture or none): views of it can be drawn again.
    void arrived(const QString &path);

private:
    struct Entry : KeptPicture {
        qint64 retryAt = 0;   // a transient failure: asked for again from then on
        qint64 checkedAt = 0; // when the file was last looked at (monotonic milliseconds)
        bool unchecked = false; // asked for on the main thread: its file is being looked at beside it
    };
    // What the icons' thread saw of a file.
    struct Seen {
        FileStamp stamp;
        bool isFile = false;
    };
    static QString keyOf(const QString &path, int side, Fit fit);
    static QString fileKeyOf(const QString &path, Fit fit);
    Lookup lookupLooking(const QString &path, int side, Fit fit);
    Lookup lookupKept(const QString &path, int side, Fit fit);
    // Notes `path` to be looked at beside the main thread; called with the lock held.
    void checkLater(const QString &path);
    void startChecks();
    void startBeside(std::function<void()> work);
    static QHash<QString, Seen> look(const QStringList &paths);
    void checked(const QStringList &order, const QHash<QString, Seen> &seen, const QList<Wanted> &wanted = {});
    void ask();
    void answered(const IconDecoder::Request &request, const QList<QImage> &pictures, const QString &failure, bool transient);
    void keepWithinBudget();

    std::unique_ptr<IconDecoder> m_decoder;
    mutable std::mutex m_mutex;
    QHash<QString, Entry> m_entries;
    // Files that gave no picture, by fit and path, with the state they gave none in: no size of
    // them is asked for again until they change.
    QHash<QString, FileStamp> m_failedFiles;
    QList<IconDecoder::Request> m_toAsk;
    bool m_askQueued = false;
    // The sizes and fits asked for of each file, so that what is seen of it reaches every entry.
    QHash<QString, QList<std::pair<int, Fit>>> m_asked;
    QSet<QString> m_toCheck;
    QStringList m_checkOrder; // m_toCheck in the order asked
    bool m_checkQueued = false;
    int m_workBeside = 0; // handed to the icons' thread and not yet through, with what it posted
    std::atomic<int> m_round{0}; // counts cancelAll() calls
    qint64 m_keptBytes = 0;
    int m_requests = 0;
    quint64 m_clock = 0;
    // The icons' own thread; ended (its work done or dropped) before anything above goes.
    QThreadPool m_beside;
};
