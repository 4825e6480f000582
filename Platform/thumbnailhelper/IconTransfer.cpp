#include "Platform/thumbnailhelper/IconTransfer.h"

#include "Platform/thumbnailhelper/PixelTransfer.h"

#include <QFile>
#include <QtEndian>

#include <cstring>

namespace {

constexpr char kMagic[4] = {'K', 'I', 'C', 'N'};

void appendNumber(QByteArray &bytes, quint32 number)
{
    char raw[4];
    qToLittleEndian(number, raw);
    bytes.append(raw, 4);
}

// A number at `offset`, when the bytes reach that far.
std::optional<quint32> numberAt(const QByteArray &bytes, qsizetype offset)
{
    if (bytes.size() < offset + 4)
        return std::nullopt;
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

} // namespace

namespace IconTransfer {

QByteArray encodeRequest(const Request &request)
{
    QByteArray bytes;
    const QByteArray path = QFile::encodeName(request.path);
    appendNumber(bytes, request.fit == IconDrawing::Fit::Stretch ? 1 : 0);
    appendNumber(bytes, quint32(request.sides.size()));
    for (const int side : request.sides)
        appendNumber(bytes, quint32(side));
    appendNumber(bytes, quint32(path.size()));
    bytes += path;
    return bytes;
}

QByteArray encodeAnswer(const QList<QImage> &pictures)
{
    QByteArray bytes(kMagic, 4);
    QList<QImage> usable;
    for (const QImage &picture : pictures) {
        if (picture.isNull() || picture.width() > IconDrawing::maximumSide || picture.height() > IconDrawing::maximumSide)
            return encodeAnswer({});
        usable.append(picture.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    appendNumber(bytes, quint32(usable.size()));
    for (const QImage &picture : std::as_const(usable)) {
        appendNumber(bytes, quint32(picture.width()));
        appendNumber(bytes, quint32(picture.height()));
        for (int y = 0; y < picture.height(); ++y)
            bytes.append(reinterpret_cast<const char *>(picture.constScanLine(y)), qsizetype(picture.width()) * 4);
    }
    return bytes;
}

std::optional<Request> Reader::takeRequest()
{
    if (m_broken)
        return std::nullopt;
    const std::optional<quint32> fit = numberAt(m_bytes, 0);
    const std::optional<quint32> count = numberAt(m_bytes, 4);
    if (!fit || !count)
        return std::nullopt;
    if (*fit > 1 || *count < 1 || *count > quint32(maximumSides)) {
        m_broken = true;
        return std::nullopt;
    }
    Request request;
    request.fit = *fit == 1 ? IconDrawing::Fit::Stretch : IconDrawing::Fit::Within;
    qsizetype offset = 8;
    for (quint32 i = 0; i < *count; ++i, offset += 4) {
        const std::optional<quint32> side = numberAt(m_bytes, offset);
        if (!side)
            return std::nullopt;
        if (*side < 1 || *side > quint32(IconDrawing::maximumSide)) {
            m_broken = true;
            return std::nullopt;
        }
        request.sides.append(int(*side));
    }
    const std::optional<quint32> length = numberAt(m_bytes, offset);
    if (!length)
        return std::nullopt;
    if (*length < 1 || *length > quint32(maximumPathBytes)) {
        m_broken = true;
        return std::nullopt;
    }
    offset += 4;
    if (m_bytes.size() < offset + qsizetype(*length))
        return std::nullopt;
    request.path = QFile::decodeName(m_bytes.mid(offset, qsizetype(*length)));
    m_bytes.remove(0, offset + qsizetype(*length));
    return request;
}

std::optional<QList<QImage>> Reader::takeAnswer()
{
    if (m_broken || m_bytes.size() < 8)
        return std::nullopt;
    if (std::memcmp(m_bytes.constData(), kMagic, 4) != 0) {
        m_broken = true;
        return std::nullopt;
    }
    const quint32 count = *numberAt(m_bytes, 4);
    if (count > quint32(maximumSides)) {
        m_broken = true;
        return std::nullopt;
    }
    // The whole answer must be there before any picture is made of it.
    qsizetype offset = 8;
    for (quint32 i = 0; i < count; ++i) {
        const std::optional<quint32> width = numberAt(m_bytes, offset);
        const std::optional<quint32> height = numberAt(m_bytes, offset + 4);
        if (!width || !height)
            return std::nullopt;
        if (*width < 1 || *height < 1 || *width > quint32(IconDrawing::maximumSide) || *height > quint32(IconDrawing::maximumSide)) {
            m_broken = true;
            return std::nullopt;
        }
        offset += 8 + qsizetype(*width) * qsizetype(*height) * 4;
        if (m_bytes.size() < offset)
            return std::nullopt;
    }
    QList<QImage> pictures;
    offset = 8;
    for (quint32 i = 0; i < count; ++i) {
        const int width = int(*numberAt(m_bytes, offset));
        const int height = int(*numberAt(m_bytes, offset + 4));
        offset += 8;
        QImage picture(width, height, QImage::Format_ARGB32_Premultiplied);
        if (picture.isNull()) {
            m_broken = true;
            return std::nullopt;
        }
        const qsizetype rowBytes = qsizetype(width) * 4;
        for (int y = 0; y < height; ++y) {
            auto *row = reinterpret_cast<QRgb *>(picture.scanLine(y));
            std::memcpy(row, m_bytes.constData() + offset + rowBytes * y, size_t(rowBytes));
            PixelTransfer::mendRow(row, width);
        }
        offset += rowBytes * height;
        pictures.append(picture);
    }
    m_bytes.remove(0, offset);
    return pictures;
}

} // namespace IconTransfer
