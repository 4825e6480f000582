#pragma once

#include "Platform/ThumbnailRenderer.h"

#include <QList>
#include <QMutex>
#include <mutex>
#include <QStringList>
#include <atomic>
#include <optional>

// Thumbnails on this desktop: what Qt can draw itself (vector images, icons and other pictures it
// reads, the first page of rich and plain text), and for other documents the desktop's thumbnailer
// programs, described by "*.thumbnailer" entries. Both run as child processes from an argument list
// (never through a shell) into a temporary file: what Qt draws runs in the program's own thumbnail
// helper, since a hostile page can keep Qt's text layout busy for ever or overflow its stack. Every
// child runs under the helper's limits and is ended with its whole process group when it takes
// longer than the timeout. A document the helper refuses for its size, or that drove it to its
// limits, is handed to no other decoder.
class DesktopThumbnailRenderer final : public ThumbnailRenderer {
public:
    static constexpr int defaultTimeoutMs = 10000;

    // The folders "thumbnailers" of the user's and the system's data folders.
    static QStringList defaultThumbnailerFolders();

    // The thumbnail helper program (ChildProcess::helperProgram()).
    static QString helperProgram();

    explicit DesktopThumbnailRenderer(const QStringList &thumbnailerFolders = defaultThumbnailerFolders(),
                                      int timeoutMs = defaultTimeoutMs);

    QImage render(const QString &path, const QSize &pixelSize) override;
    bool lastFailureIsTransient() const override { return m_lastTransient; }
    void cancel() override;

    // What Qt draws of the file (in the helper), or a null image.
    QImage renderWithQt(const QString &path, const QSize &pixelSize);
    // What an installed thumbnailer for the file's type gives, or a null image.
    QImage renderWithThumbnailer(const QString &path, const QSize &pixelSize);

    // The program and arguments of a thumbnailer's "Exec" line with its field codes filled in (%i
    // the input path, %u its URL, %o the output path, %s the size, %% a per cent sign); nothing when
    // the line is empty or holds an unknown code.
    static std::optional<QStringList> execArguments(const QString &exec, const QString &input, const QString &output, int size);

private:
    struct Thumbnailer {
        QString tryExec;
        QString exec;
        QStringList mimeTypes;
    };
    const QList<Thumbnailer> &thumbnailers();
    std::optional<Thumbnailer> thumbnailerFor(const QString &path);
    enum class Run {
        Done,
        // Ended by itself without a picture: another decoder may try.
        NoPicture,
        // The helper would not read the file for its size.
        Refused,
        // Ended at its limits (memory, processor time, the timeout while it had the processor, an
        // endless answer): no other decoder gets the file.
        AtLimits,
        // Could not start, or ran out of time on a busy machine: worth asking again later.
        Transient,
        Cancelled,
    };
    // Runs the program to its end or to the timeout, as a BoundedChild that is killed with its group
    // on the timeout or on cancel(). With `output`, what the program writes to its standard output
    // is gathered there (and the program ended once it is more than any picture). `supervision`:
    // the supervisor's options for a program that does not set its own limits.
    Run runBounded(const QStringList &arguments, bool ownLimits, QByteArray *output = nullptr, const QStringList &supervision = {});
    QImage drawWithHelper(const QString &path, const QSize &pixelSize, Run &run);
    QImage drawWithThumbnailer(const QString &path, const QSize &pixelSize, Run &run);
    // The picture a helper wrote as pixels; null when they are not one that fits `pixelSize`.
    static QImage takenPixels(const QByteArray &pixels, const QSize &pixelSize, Run &run);

    QStringList m_folders;
    int m_timeoutMs;
    QMutex m_lock;
    std::optional<QList<Thumbnailer>> m_thumbnailers;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_lastTransient{false};
    // The child running now, if any; cancel() ends it from another thread.
    std::mutex m_runningLock;
    class BoundedChild *m_running = nullptr;
};
