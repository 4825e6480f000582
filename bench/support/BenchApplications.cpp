#include "bench/support/BenchApplications.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// An application's vector icon as drawing programs write them: a gradient square with a few shapes.
QByteArray vectorIcon(int index)
{
    const QColor color = benchApplicationColor(index);
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"128\" height=\"128\" viewBox=\"0 0 128 128\">"
                          "<defs><linearGradient id=\"g\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\"><stop offset=\"0\" stop-color=\"%1\"/>"
                          "<stop offset=\"1\" stop-color=\"%2\"/></linearGradient></defs>"
                          "<rect x=\"8\" y=\"8\" width=\"112\" height=\"112\" rx=\"26\" fill=\"url(#g)\"/>"
                          "<circle cx=\"64\" cy=\"56\" r=\"22\" fill=\"#ffffff\" fill-opacity=\"0.85\"/>"
                          "<path d=\"M34 96 Q64 70 94 96\" stroke=\"#ffffff\" stroke-width=\"6\" fill=\"none\"/></svg>\n")
        .arg(color.name(), color.darker(130).name())
        .toUtf8();
}

} // namespace

QImage benchApplicationBitmap(int index, int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor color = benchApplicationColor(index);
    QLinearGradient fill(0, 0, 0, side);
    fill.setColorAt(0, color.lighter(110));
    fill.setColorAt(1, color);
    painter.setBrush(fill);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(side * 0.0625, side * 0.0625, side * 0.875, side * 0.875), side * 0.2, side * 0.2);
    painter.setBrush(QColor(255, 255, 255, 210));
    painter.drawEllipse(QPointF(side / 2.0, side * 0.44), side * 0.17, side * 0.17);
    painter.end();
    return image;
}

QColor benchApplicationColor(int index)
{
    return QColor::fromHsv((index * 47) % 360, 150 + (index * 13) % 90, 200);
}

QStringList writeBenchApplications(const QString &folder, int count)
{
    const QString entries = folder + QStringLiteral("/applications");
    const QString icons = folder + QStringLiteral("/icons");
    QDir().mkpath(entries);
    QDir().mkpath(icons);
    // Sizes as the applications of a desktop install them, most at 128 or 256 pixels.
    static const int sides[] = {256, 128, 48, 256, 512, 128, 64, 256};
    QStringList written;
    for (int i = 0; i < count; ++i) {
        QString icon;
        if (i % 2 == 1) {
            icon = icons + QStringLiteral("/app-%1.svg").arg(i);
            if (!writeFile(icon, vectorIcon(i)))
                return {};
        } else {
            icon = icons + QStringLiteral("/app-%1.png").arg(i);
            if (!benchApplicationBitmap(i, sides[(i / 2) % 8]).save(icon, "PNG"))
                return {};
        }
        const QString entry = entries + QStringLiteral("/org.example.App%1.desktop").arg(i);
        if (!writeFile(entry, QStringLiteral("[Desktop Entry]\nType=Application\nName=Application %1\nExec=/bin/true %U\nIcon=%2\n"
                                             "Categories=Utility;\n")
                                  .arg(i)
                                  .arg(icon)
                                  .toUtf8()))
            return {};
        written.append(entry);
    }
    return written;
}
