#include "bench/support/BenchIcons.h"

#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPixmap>

QIcon benchApplicationIcon()
{
    QImage icon(512, 512, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(60, 140, 240));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(44, 44, 424, 424), 96, 96);
    p.end();
    return QIcon(QPixmap::fromImage(icon));
}

void writeBenchPaper(const QString &path)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter p(&writer);
    p.fillRect(QRect(0, 0, 2000, 600), QColor(45, 108, 223));
}
