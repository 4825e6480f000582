#include "Platform/dockstandin/TileIcons.h"

#include "Platform/codecs/PictureBytes.h"
#include "Platform/linux/DesktopIcons.h"

#include <QBuffer>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QImageReader>
#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPath>

namespace {

Q_LOGGING_CATEGORY(iconsLog, "com.kestrowan.dock")

// A running program sends the icon it shows, of a few hundred pixels a side at most.
constexpr int sentPictureSide = 1024;

} // namespace

QStringList TileIcons::pictureFiles(const DockTileEntry &entry, const std::optional<ApplicationInfo> &application, int size)
{
    switch (entry.kind) {
    case DockTileEntry::Kind::Application: {
        if (!application || application->icon.isEmpty())
            return {};
        const QString &icon = application->icon;
        // A bundle's icon file, with a picture beside it where the ".icns" itself is not one.
        if (icon.endsWith(QLatin1String(".icns")) && icon.startsWith(u'/'))
            return {icon, icon.chopped(5) + QStringLiteral(".png")};
        // The program's own look-up, so a tile shows the picture the program shows for the entry.
        const QString file = DesktopIcons::fileForSize(DesktopIcons::files(icon), size);
        return file.isEmpty() ? QStringList() : QStringList{file};
    }
    case DockTileEntry::Kind::Folder:
        return {entry.path + QStringLiteral("/Icon\r")};
    case DockTileEntry::Kind::Document:
        return {};
    }
    return {};
}

QImage TileIcons::standIn(const DockTileEntry &entry, const QString &title, int size)
{
    QImage image;
    switch (entry.kind) {
    case DockTileEntry::Kind::Application:
        // An application without a picture of its own shows the symbol the program shows for it.
        return DesktopIcons::genericApplication().pixmap(size, size).toImage();
    case DockTileEntry::Kind::Folder:
        return folderStandIn(size);
    case DockTileEntry::Kind::Document:
        image = QFileIconProvider().icon(QFileInfo(entry.path)).pixmap(size, size).toImage();
        return image.isNull() ? drawnApplication(title, size) : image;
    }
    return image;
}

QImage TileIcons::folderStandIn(int size)
{
    // Every folder tile without a picture of its own shows this one: it is looked up in the theme
    // and scaled once for each theme and size, not once a tile (a Dock of two hundred group folders
    // starts with two hundred of them).
    static QHash<QPair<QString, int>, QImage> kept;
    const QPair<QString, int> key(QIcon::themeName(), size);
    const auto found = kept.constFind(key);
    if (found != kept.cend())
        return *found;
    const QImage themed = QIcon::fromTheme(QStringLiteral("folder")).pixmap(size, size).toImage();
    const QImage image = themed.isNull() ? drawnFolder(size) : themed.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    kept.insert(key, image);
    return image;
}

QImage TileIcons::sentPicture(const QByteArray &bytes, int size)
{
    if (bytes.isEmpty())
        return {};
    // Checked before Qt's reader sees it: a chunk that names more than the file holds would have
    // the reader allocate all it names, at every start that finds it in the running applications.
    if (!PictureBytes::holdWhatTheyClaim(bytes)) {
        qCWarning(iconsLog, "A running application's icon of %lld bytes names more than it holds; its tile shows a stand-in",
                  qint64(bytes.size()));
        return {};
    }
    QByteArray data = bytes;
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer, "PNG");
    const QSize pixels = reader.size();
    if (!pixels.isValid() || pixels.width() > sentPictureSide || pixels.height() > sentPictureSide)
        return {};
    const QImage picture = reader.read();
    return picture.isNull() ? picture : picture.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
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
