#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

// The system's thumbnail service: a picture of a document as a file browser would show it.
class ThumbnailRenderer {
public:
    virtual ~ThumbnailRenderer() = default;

    // This machine's renderer.
    static std::shared_ptr<ThumbnailRenderer> createDefault();

    // A picture of the document at `path` that fits in `pixelSize`, or a null image when the
    // service has none. Called on the thumbnail cache's own thread, one call at a time; it may take
    // a while, but never forever.
    virtual QImage render(const QString &path, const QSize &pixelSize) = 0;

    // Ends the render under way, if any, and makes every later one give nothing at once; callable
    // from any thread. The cache calls it when it goes away, so quitting never waits on a document.
    virtual void cancel() {}
};
