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

    // Whether the last render() that gave nothing may give a picture when asked again later (its
    // decoder could not start, or ran out of time on a busy machine); otherwise the document gives
    // none for as long as it stays as it is.
    virtual bool lastFailureIsTransient() const { return false; }

    // Ends the render under way, if any, and makes every later one give nothing at once; callable
    // from any thread. The cache calls it when it goes away, so quitting never waits on a document.
    virtual void cancel() {}
};
