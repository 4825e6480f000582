#include "Platform/thumbnailhelper/PixelTransfer.h"

#include <QtEndian>

#include <cstdio>
#include <cstring>

namespace {

constexpr char kMagic[4] = {'K', 'P', 'I', 'X'};
constexpr qsizetype kHeaderBytes = 12;

} // namespace

namespace PixelTransfer {

QByteArray encode(const QImage &image)
{
    if (image.isNull() || image.width() > maximumSide || image.height() > maximumSide)
        return {};
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (pixels.isNull())
        return {};
    const qsizetype rowBytes = qsizetype(pixels.width()) * 4;
    QByteArray bytes(kHeaderBytes + rowBytes * pixels.height(), Qt::Uninitialized);
    std::memcpy(bytes.data(), kMagic, 4);
    qToLittleEndian(quint32(pixels.width()), bytes.data() + 4);
    qToLittleEndian(quint32(pixels.height()), bytes.data() + 8);
    for (int y = 0; y < pixels.height(); ++y)
        std::memcpy(bytes.data() + kHeaderBytes + rowBytes * y, pixels.constScanLine(y), size_t(rowBytes));
    return bytes;
}

bool writeToStandardOutput(const QImage &image)
{
    const QByteArray bytes = encode(image);
    return !bytes.isEmpty() && std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size())
        && std::fflush(stdout) == 0;
}

void mendRow(QRgb *row, int width)
{
    for (int x = 0; x < width; ++x) {
        const QRgb p = row[x];
        const int a = qAlpha(p);
        if (qRed(p) > a || qGreen(p) > a || qBlue(p) > a)
            row[x] = qRgba(std::min(qRed(p), a), std::min(qGreen(p), a), std::min(qBlue(p), a), a);
    }
}

QImage decode(const QByteArray &bytes)
{
    if (bytes.size() < kHeaderBytes || std::memcmp(bytes.constData(), kMagic, 4) != 0)
        return {};
    const quint32 width = qFromLittleEndian<quint32>(bytes.constData() + 4);
    const quint32 height = qFromLittleEndian<quint32>(bytes.constData() + 8);
    if (width < 1 || height < 1 || width > quint32(maximumSide) || height > quint32(maximumSide))
        return {};
    const qsizetype rowBytes = qsizetype(width) * 4;
    if (bytes.size() != kHeaderBytes + rowBytes * qsizetype(height))
        return {};
    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    for (int y = 0; y < int(height); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        std::memcpy(row, bytes.constData() + kHeaderBytes + rowBytes * y, size_t(rowBytes));
        mendRow(row, int(width));
    }
    return image;
}

} // namespace PixelTransfer
