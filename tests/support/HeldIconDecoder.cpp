#include "tests/support/HeldIconDecoder.h"

#include <QMetaObject>

bool HeldIconDecoder::holds(const QString &path) const
{
    return std::any_of(m_held.cbegin(), m_held.cend(), [&path](const Request &request) { return request.path == path; });
}

void HeldIconDecoder::answerAll()
{
    for (const Request &request : std::exchange(m_held, {})) {
        const QImage picture(request.path);
        QList<QImage> pictures;
        for (const int side : request.sides)
            pictures.append(picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        QMetaObject::invokeMethod(
            this, [this, request, pictures] { emit decoded(request, pictures, QString(), false); }, Qt::QueuedConnection);
    }
}
