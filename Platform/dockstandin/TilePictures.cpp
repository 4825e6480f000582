#include "Platform/dockstandin/TilePictures.h"

#include "Platform/logging/LoggedText.h"

#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(picturesLog, "com.kestrowan.dock")

} // namespace

TilePictures::TilePictures(int side, std::unique_ptr<IconDecoder> decoder, QObject *parent)
    : QObject(parent)
    , m_side(side)
    , m_decoder(std::move(decoder))
{
    if (m_decoder) {
        connect(m_decoder.get(), &IconDecoder::decoded, this,
                [this](const IconDecoder::Request &request, const QList<QImage> &pictures, const QString &failure, bool) {
                    decoded(request, pictures, failure);
                });
    }
}

// The decoder ends its helpers as it goes.
TilePictures::~TilePictures() = default;

void TilePictures::ask(const QString &path)
{
    if (!m_decoder)
        return;
    if (m_out.contains(path)) {
        m_again.insert(path);
        return;
    }
    m_out.insert(path);
    m_decoder->decode({IconDecoder::Request{path, {m_side}, IconDecoder::Fit::Within}});
}

void TilePictures::decoded(const IconDecoder::Request &request, const QList<QImage> &pictures, const QString &failure)
{
    const QString &path = request.path;
    if (!m_out.remove(path))
        return;
    if (m_again.remove(path)) {
        ask(path);
        return;
    }
    const QImage picture = pictures.value(0);
    if (picture.isNull() && !failure.isEmpty())
        qCInfo(picturesLog, "No picture from %s: %s", qPrintable(loggedText(path)), qPrintable(loggedText(failure)));
    emit answered(path, picture);
}

