#pragma once

#include "Platform/thumbnailhelper/PreviewDrawing.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <memory>

// The decoder of what the program's own previews show of a document: a picture, a PDF page or a
// video frame. It never decodes in the program and never blocks its caller: each request is
// answered later, on the renderer's thread, by `rendered`.
class PreviewRenderer : public QObject {
    Q_OBJECT
public:
    using Kind = PreviewDrawing::Kind;

    // This machine's renderer.
    static std::unique_ptr<PreviewRenderer> createDefault();

    // Asks for the picture of the document at `path`; `rendered` follows once for it, unless
    // cancelAll() comes first.
    virtual void render(Kind kind, const QString &path) = 0;

    // Ends every render under way and forgets those not started; none of them is answered.
    virtual void cancelAll() = 0;

signals:
    // The picture (premultiplied ARGB, at most PixelTransfer::maximumSide on a side), or a null
    // image with the reason in `failure`; `transient` when asking again later may well give one
    // (the helper could not start, or ran out of time on a busy machine).
    void rendered(const QString &path, const QImage &picture, const QString &failure, bool transient);
};
