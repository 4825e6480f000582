#pragma once

#include "Platform/ThumbnailRenderer.h"

#include <QList>
#include <QMutex>
#include <QStringList>
#include <optional>

// Thumbnails on this desktop: what Qt can draw itself (vector images, icons and other pictures it
// reads, the first page of rich and plain text), and for other documents the desktop's thumbnailer
// programs, described by "*.thumbnailer" entries. A thumbnailer runs from an argument list (never
// through a shell) into a temporary file, and is ended when it takes longer than the timeout.
class DesktopThumbnailRenderer final : public ThumbnailRenderer {
public:
    static constexpr int defaultTimeoutMs = 10000;

    // The folders "thumbnailers" of the user's and the system's data folders.
    static QStringList defaultThumbnailerFolders();

    explicit DesktopThumbnailRenderer(const QStringList &thumbnailerFolders = defaultThumbnailerFolders(),
                                      int timeoutMs = defaultTimeoutMs);

    QImage render(const QString &path, const QSize &pixelSize) override;

    // What Qt draws of the file, or a null image.
    static QImage renderWithQt(const QString &path, const QSize &pixelSize);
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

    QStringList m_folders;
    int m_timeoutMs;
    QMutex m_lock;
    std::optional<QList<Thumbnailer>> m_thumbnailers;
};
