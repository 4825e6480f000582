#include "Platform/thumbnailhelper/IconTransfer.h"

#include "Platform/thumbnailhelper/PixelTransfer.h"

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

QStringList requestArguments(const QList<Request> &requests)
{
    QStringList arguments{QStringLiteral("--icons")};
    for (const Request &request : requests) {
        QStringList sides;
        for (const int side : request.sides)
            sides.append(QString::number(side));
        arguments << (request.fit == IconDrawing::Fit::Stretch ? QStringLiteral("stretch") : QStringLiteral("within"))
                  << sides.join(u',') << request.path;
    }
    return arguments;
}

std::optional<Request> requestFrom(const QString &fit, const QString &sides, const QString &path)
{
    Request request;
    if (fit == QLatin1String("stretch"))
        request.fit = IconDrawing::Fit::Stretch;
    else if (fit != QLatin1String("within"))
        return std::nullopt;
    const QStringList numbers = sides.split(u',');
    if (numbers.size() > maximumSides || path.isEmpty())
        return std::nullopt;
    for (const QString &number : numbers) {
        bool ok = false;
        const int side = number.toInt(&ok);
        if (!ok || side < 1 || side > IconDrawing::maximumSide)
            return std::nullopt;
        request.sides.append(side);
    }
    request.path = path;
    return request;
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
