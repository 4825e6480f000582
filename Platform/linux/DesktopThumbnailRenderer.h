#pragma once

#include "Platform/ThumbnailRenderer.h"

#include <QList>
#include <QMutex>
#include <QStringList>
#include <atomic>
#include <optional>

// Thumbnails on this desktop: what Qt can draw itself (vector images, icons and other pictures it
// reads, the first page of rich and plain text), and for other documents the desktop's thumbnailer
// programs, described by "*.thumbnailer" entries. Both run as child processes from an argument list
// (never through a shell) into a temporary file: what Qt draws runs in the program's own thumbnail
// helper, since a hostile page can keep Qt's text layout busy for ever or overflow its stack. A
// child that takes longer than the timeout is ended with its whole process group.
class DesktopThumbnailRenderer final : public ThumbnailRenderer {
public:
    static constexpr int defaultTimeoutMs = 10000;

    // The folders "thumbnailers" of the user's and the system's data folders.
    static QStringList defaultThumbnailerFolders();

    // The thumbnail helper program: beside the running executable, else the one this build made.
    static QString helperProgram();

    explicit DesktopThumbnailRenderer(const QStringList &thumbnailerFolders = defaultThumbnailerFolders(),
                                      int timeoutMs = defaultTimeoutMs);

    QImage render(const QString &path, const QSize &pixelSize) override;
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
    // Runs the program to its end or to the timeout, in a process group of its own that is killed
    // whole on the timeout or on cancel(); true when it exited normally with status 0.
    // With `output`, what the program writes to its standard output is gathered there (and the
    // program ended once it is more than any picture).
    bool runBounded(const QStringList &arguments, QByteArray *output = nullptr);
    // The picture file a child wrote, read by the helper to fit `pixelSize`; null when none.
    QImage readThumbnail(const QString &file, const QSize &pixelSize);

    QStringList m_folders;
    int m_timeoutMs;
    QMutex m_lock;
    std::optional<QList<Thumbnailer>> m_thumbnailers;
    std::atomic<bool> m_cancelled{false};
    // The process group of the child running now, 0 when none.
    std::atomic<qint64> m_runningGroup{0};
};
