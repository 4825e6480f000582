#include "Platform/dockstandin/TileIcons.h"

#include "Platform/PoolThread.h"
#include "Platform/linux/DesktopIcons.h"
#include "Platform/codecs/PngReader.h"

#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>

namespace {

// The program writes folder pictures as plain PNG files of 512 pixels a side, which the fast reader
// takes; a larger one, or any other picture a user put there, is read by Qt's reader.
constexpr qint64 fastPicturePixels = qint64(4096) * 4096;

QImage decodedPicture(const QByteArray &bytes)
{
    if (std::optional<QImage> picture = PngReader::read(bytes, fastPicturePixels))
        return *picture;
    return QImage::fromData(bytes);
}

// Two independent hashes of the file's bytes and its length: folders that show the same picture
// share it. A cryptographic digest of every file cost the Dock more than decoding half of them.
QByteArray pictureKey(const QByteArray &bytes)
{
    const size_t hashes[] = {qHashBits(bytes.constData(), size_t(bytes.size()), 0x5bd1e995u),
                             qHashBits(bytes.constData(), size_t(bytes.size()), 0x27d4eb2fu), size_t(bytes.size())};
    return QByteArray(reinterpret_cast<const char *>(hashes), sizeof hashes);
}

QImage folderPicture(const QString &path, int size, TileIcons::FolderPictures *pictures)
{
    const auto scaled = [size](const QImage &image) {
        return image.isNull() ? image : image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (!pictures)
        return scaled(decodedPicture(bytes));
    const QByteArray key = pictureKey(bytes);
    if (const auto known = pictures->constFind(key); known != pictures->cend())
        return *known;
    const QImage picture = scaled(decodedPicture(bytes));
    pictures->insert(key, picture);
    return picture;
}

} // namespace

TileIcons::ReadPictures TileIcons::readFolderPictures(const QList<DockTileEntry> &entries, int size, FolderPictures *pictures)
{
    ReadPictures read;
    PoolThread::run([&] {
        for (const DockTileEntry &entry : entries) {
            if (entry.kind == DockTileEntry::Kind::Folder && !read.contains(entry.path))
                read.insert(entry.path, folderPicture(entry.path + QStringLiteral("/Icon\r"), size, pictures));
        }
    });
    return read;
}

QImage TileIcons::iconFor(const DockTileEntry &entry, const std::optional<ApplicationInfo> &application,
                          const QString &title, int size, FolderPictures *pictures, const ReadPictures *read)
{
    QImage image;
    switch (entry.kind) {
    case DockTileEntry::Kind::Application:
        if (application)
            image = application->iconImage(size);
        // An application without a picture of its own shows the symbol the program shows for it.
        return image.isNull() ? DesktopIcons::genericApplication().pixmap(size, size).toImage() : image;
    case DockTileEntry::Kind::Folder:
        if (const auto known = read ? read->constFind(entry.path) : ReadPictures::const_iterator(); read && known != read->cend())
            image = *known;
        else
            image = folderPicture(entry.path + QStringLiteral("/Icon\r"), size, pictures);
        if (!image.isNull())
            return image;
        image = QIcon::fromTheme(QStringLiteral("folder")).pixmap(size, size).toImage();
        return image.isNull() ? drawnFolder(size) : image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    case DockTileEntry::Kind::Document:
        image = QFileIconProvider().icon(QFileInfo(entry.path)).pixmap(size, size).toImage();
        return image.isNull() ? drawnApplication(title, size) : image;
    }
    return image;
}

QImage TileIcons::drawnApplication(const QString &title, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor base = QColor::fromHsv(int(qHash(title) % 360), 140, 200);
    QLinearGradient gradient(0, 0, 0, size);
    gradient.setColorAt(0, base.lighter(125));
    gradient.setColorAt(1, base.darker(130));
    QPainterPath shape;
    shape.addRoundedRect(QRectF(size * 0.06, size * 0.06, size * 0.88, size * 0.88), size * 0.2, size * 0.2);
    painter.fillPath(shape, gradient);
    QFont font = painter.font();
    font.setPixelSize(size / 2);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, title.left(1).toUpper());
    return image;
}

QImage TileIcons::drawnFolder(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QPainterPath tab;
    tab.addRoundedRect(QRectF(s * 0.08, s * 0.18, s * 0.38, s * 0.2), s * 0.05, s * 0.05);
    painter.fillPath(tab, QColor(70, 140, 210));
    QPainterPath body;
    body.addRoundedRect(QRectF(s * 0.06, s * 0.28, s * 0.88, s * 0.58), s * 0.07, s * 0.07);
    painter.fillPath(body, QColor(96, 170, 235));
    return image;
}
