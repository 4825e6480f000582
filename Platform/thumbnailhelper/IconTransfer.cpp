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

} // namespace

namespace IconTransfer {

QByteArray requestRecord(const Request &request)
{
    QStringList sides;
    for (const int side : request.sides)
        sides.append(QString::number(side));
    QByteArray record = request.fit == IconDrawing::Fit::Stretch ? QByteArrayLiteral("stretch") : QByteArrayLiteral("within");
    record += '\0';
    record += sides.join(u',').toLatin1();
    record += '\0';
    record += QFile::encodeName(request.path);
    record += '\0';
    return record;
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

void Reader::append(const QByteArray &bytes)
{
    // What was taken goes once it is most of what is held, not on every answer: the answers of a
    // batch arrive together, each a fraction of a megabyte.
    if (m_start > 0 && m_start * 2 >= m_bytes.size()) {
        m_bytes.remove(0, m_start);
        m_start = 0;
    }
    m_bytes += bytes;
}

std::optional<QList<QImage>> Reader::takeAnswer()
{
    const QByteArrayView held = QByteArrayView(m_bytes).sliced(m_start);
    const auto numberAt = [&held](qsizetype offset) -> std::optional<quint32> {
        if (held.size() < offset + 4)
            return std::nullopt;
        return qFromLittleEndian<quint32>(held.data() + offset);
    };
    if (m_broken || held.size() < 8)
        return std::nullopt;
    if (std::memcmp(held.data(), kMagic, 4) != 0) {
        m_broken = true;
        return std::nullopt;
    }
    const quint32 count = *numberAt(4);
    if (count > quint32(maximumSides)) {
        m_broken = true;
        return std::nullopt;
    }
    // The whole answer must be there before any picture is made of it.
    qsizetype offset = 8;
    for (quint32 i = 0; i < count; ++i) {
        const std::optional<quint32> width = numberAt(offset);
        const std::optional<quint32> height = numberAt(offset + 4);
        if (!width || !height)
            return std::nullopt;
        if (*width < 1 || *height < 1 || *width > quint32(IconDrawing::maximumSide) || *height > quint32(IconDrawing::maximumSide)) {
            m_broken = true;
            return std::nullopt;
        }
        offset += 8 + qsizetype(*width) * qsizetype(*height) * 4;
        if (held.size() < offset)
            return std::nullopt;
    }
    QList<QImage> pictures;
    offset = 8;
    for (quint32 i = 0; i < count; ++i) {
        const int width = int(*numberAt(offset));
        const int height = int(*numberAt(offset + 4));
        offset += 8;
        QImage picture(width, height, QImage::Format_ARGB32_Premultiplied);
        if (picture.isNull()) {
            m_broken = true;
            return std::nullopt;
        }
        const qsizetype rowBytes = qsizetype(width) * 4;
        for (int y = 0; y < height; ++y) {
            auto *row = reinterpret_cast<QRgb *>(picture.scanLine(y));
            std::memcpy(row, held.data() + offset + rowBytes * y, size_t(rowBytes));
            PixelTransfer::mendRow(row, width);
        }
        offset += rowBytes * height;
        pictures.append(picture);
    }
    m_start += offset;
    return pictures;
}

} // namespace IconTransfer
