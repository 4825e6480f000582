#pragma once

#include "Platform/thumbnailhelper/IconDrawing.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <optional>

// How the program asks the thumbnail helper for icons, many in one process, and how the pictures
// come back. A request: the fit (32-bit little-endian number: 0 within, 1 stretched), the number of
// sides and each side (32-bit numbers), the length of the file's path in bytes and the path (local
// 8-bit encoding). An answer, one per request in the order asked: "KICN", the number of pictures
// (0 when the file gave none) and each picture as its width, height and rows of premultiplied 32-bit
// ARGB pixels, top row first, without padding. The program reads nothing of the file but this.
namespace IconTransfer {

inline constexpr int maximumSides = 8;
inline constexpr int maximumPathBytes = 4096;

struct Request {
    QString path;
    QList<int> sides;
    IconDrawing::Fit fit = IconDrawing::Fit::Within;
};

QByteArray encodeRequest(const Request &request);
QByteArray encodeAnswer(const QList<QImage> &pictures);

// Takes whole requests or answers off the front of what was read so far. Each gives nothing while
// the next one is not all there yet; `broken` is set when the bytes cannot be one (the reader is
// of no further use then).
class Reader {
public:
    void append(const QByteArray &bytes) { m_bytes += bytes; }
    std::optional<Request> takeRequest();
    std::optional<QList<QImage>> takeAnswer();
    bool broken() const { return m_broken; }
    qsizetype pendingBytes() const { return m_bytes.size(); }

private:
    QByteArray m_bytes;
    bool m_broken = false;
};

} // namespace IconTransfer
