#pragma once

#include "Platform/ApplicationInstance.h"
#include "Platform/FileStamp.h"
#include "Platform/IconDecoder.h"
#include "Platform/PictureLookup.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>

#include <memory>
#include <mutex>

// The pictures of icon and skin layer files, decoded out of the program by the icon decoder and
// kept at the pixel sizes they are drawn at. Nothing here waits: a picture not yet at hand is asked
// for and reported pending (its view draws the generic picture meanwhile), and `arrived` tells the
// views to draw again once the answer is in. A file is decoded once per state for each size; one
// that gave no picture is not asked for again until it changes. What is kept stays within a byte
// budget, the least recently drawn going first. Lives on the application's thread; lookup() is
// safe from any thread.
class DecodedIcons : public QObject, public ApplicationInstance<DecodedIcons> {
    Q_OBJECT
public:
    using Fit = IconDrawing::Fit;
    using Lookup = PictureLookup;
    using State = PictureLookup::State;

    static constexpr qint64 byteBudget = 48 * 1024 * 1024;
    // A decoder that could not be started is tried again after this long.
    static constexpr qint64 retryAfterMs = 30000;

    explicit DecodedIcons(std::unique_ptr<IconDecoder> decoder = nullptr, QObject *parent = nullptr);
    ~DecodedIcons() override;

    // What is known of the file's picture at `side` pixels now; asks the decoder when nothing is
    // known of the file's current state at that size.
    Lookup lookup(const QString &path, int side, Fit fit = Fit::Within);

    // Whether no picture is on its way.
    bool isIdle() const;
    // The bytes of the pictures kept, and the requests handed to the decoder so far.
    qint64 keptBytes() const;
    int requestCount() const;

    // Ends the decoding under way; what was pending is asked for again at the next lookup.
    void cancelAll();

signals:
    // An answer for the file arrived (a picture or none): views of it can be drawn again.
    void arrived(const QString &path);

private:
    struct Entry : KeptPicture {
        qint64 retryAt = 0; // a transient failure: asked for again from then on
    };
    static QString keyOf(const QString &path, int side, Fit fit);
    static QString fileKeyOf(const QString &path, Fit fit);
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
    qint64 m_keptBytes = 0;
    int m_requests = 0;
    quint64 m_clock = 0;
};
