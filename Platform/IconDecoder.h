#pragma once

#include "Platform/thumbnailhelper/IconTransfer.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

// Decodes icon and skin layer files out of the program, many to a process. It never decodes in the
// program and never blocks its caller: each request is answered later, on the decoder's thread, by
// `decoded`.
class IconDecoder : public QObject {
    Q_OBJECT
public:
    using Request = IconTransfer::Request;
    using Fit = IconDrawing::Fit;

    // This machine's decoder.
    static std::unique_ptr<IconDecoder> createDefault();

    // Asks for the pictures of the requests; `decoded` follows once for each, unless cancelAll()
    // comes first.
    virtual void decode(const QList<Request> &requests) = 0;

    // Ends every decoding under way and forgets those not started; none of them is answered.
    virtual void cancelAll() = 0;

signals:
    // The pictures of `request`, one for each of its sides in order, or none with the reason in
    // `failure`. `transient`: the failure says nothing of the file (no helper could be started), so
    // it may be asked for again later.
    void decoded(const IconDecoder::Request &request, const QList<QImage> &pictures, const QString &failure, bool transient);
};
