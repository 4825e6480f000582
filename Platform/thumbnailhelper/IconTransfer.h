#pragma once

#include "Platform/thumbnailhelper/IconDrawing.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// How the program asks the icon helper for icons, many in one process, and how the pictures
// come back. The helper is started with "--icons" and reads its requests from its standard input
// until that ends, so that files asked for while it runs go to it rather than to a new process:
// for each file the fit ("within" or "stretch"), its sides in pixels separated by commas, and
// the file's path, each of the three ended by a zero byte. An
// answer, one per request in the order asked: "KICN", the number of pictures as a 32-bit
// little-endian number (0 when the file gave none) and each picture as its width, height and rows
// of premultiplied 32-bit ARGB pixels, top row first, without padding. The program reads nothing
// of the file but this.
namespace IconTransfer {

inline constexpr int maximumSides = 8;

struct Request {
    QString path;
    QList<int> sides;
    IconDrawing::Fit fit = IconDrawing::Fit::Within;
};

// A request as the helper reads it.
QByteArray requestRecord(const Request &request);
// One request from its three fields; nothing when they are not one.
std::optional<Request> requestFrom(const QString &fit, const QString &sides, const QString &path);

QByteArray encodeAnswer(const QList<QImage> &pictures);

// Takes whole answers off the front of what was read so far. Gives nothing while the next one is
// not all there yet; `broken` is set when the bytes cannot be one (the reader is of no further use
// then).
class Reader {
public:
    void append(const QByteArray &bytes);
    std::optional<QList<QImage>> takeAnswer();
    bool broken() const { return m_broken; }
    qsizetype pendingBytes() const { return m_bytes.size() - m_start; }

private:
    QByteArray m_bytes;
    qsizetype m_start = 0;
    bool m_broken = false;
};

} // namespace IconTransfer
