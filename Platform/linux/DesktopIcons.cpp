#include "Platform/linux/DesktopIcons.h"

#include "Platform/linux/GtkSystemAppearance.h"

#include <QDir>
#include <QFileInfo>
#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>

#include <map>
#include <mutex>
#include <tuple>

namespace {

bool themeInstalled(const QString &name)
{
    for (const QString &folder : DesktopIcons::themeFolders()) {
        if (QFileInfo::exists(folder + u'/' + name + QStringLiteral("/index.theme")))
            return true;
    }
    return false;
}

// Drawn rather than loaded, so it is crisp at every size and needs no file: a neutral rounded
// tile holding a two-by-two grid of rounded squares, the usual picture of "an application".
class GenericApplicationEngine final : public QIconEngine {
public:
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const qreal side = std::min(rect.width(), rect.height());
        const QRectF tile(rect.x() + (rect.width() - side) / 2 + side * 0.08, rect.y() + (rect.height() - side) / 2 + side * 0.08,
                          side * 0.84, side * 0.84);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.5);
        QLinearGradient fill(tile.topLeft(), tile.bottomLeft());
        fill.setColorAt(0, QColor(0xA9, 0xB1, 0xBC));
        fill.setColorAt(1, QColor(0x7D, 0x87, 0x94));
        const qreal radius = tile.width() * 0.22;
        painter->setPen(QPen(QColor(0, 0, 0, 40), std::max<qreal>(1, side / 64)));
        painter->setBrush(fill);
        painter->drawRoundedRect(tile, radius, radius);
        const qreal cell = tile.width() * 0.24;
        const qreal gap = tile.width() * 0.1;
        const QPointF origin(tile.center().x() - cell - gap / 2, tile.center().y() - cell - gap / 2);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(255, 255, 255, 235));
        for (int row = 0; row < 2; ++row) {
            for (int column = 0; column < 2; ++column) {
                const QRectF square(origin.x() + column * (cell + gap), origin.y() + row * (cell + gap), cell, cell);
                painter->drawRoundedRect(square, cell * 0.3, cell * 0.3);
            }
        }
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        // Every application without an icon of its own shows this one, often a hundred times in a
        // view: each size is drawn once.
        const auto key = std::make_tuple(size.width(), size.height(), int(mode));
        {
            const std::lock_guard lock(m_mutex);
            if (const auto drawn = m_drawn.find(key); drawn != m_drawn.end())
                return drawn->second;
        }
        QPixmap result(size);
        result.fill(Qt::transparent);
        {
            QPainter painter(&result);
            paint(&painter, QRect(QPoint(), size), mode, state);
        }
        const std::lock_guard lock(m_mutex);
        if (m_drawn.size() >= 32)
            m_drawn.clear();
        m_drawn.emplace(key, result);
        return result;
    }

    QIconEngine *clone() const override { return new GenericApplicationEngine; }
    QString key() const override { return QStringLiteral("KestrowanGenericApplication"); }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(32, 32), QSize(64, 64), QSize(128, 128), QSize(256, 256), QSize(512, 512)};
    }

private:
    std::mutex m_mutex;
    std::map<std::tuple<int, int, int>, QPixmap> m_drawn;
};

} // namespace

QStringList DesktopIcons::themeFolders()
{
    QStringList folders{QDir::homePath() + QStringLiteral("/.icons")};
    for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders.append(data + QStringLiteral("/icons"));
    folders.removeDuplicates();
    return folders;
}

QStringList DesktopIcons::pixmapFolders()
{
    QStringList folders;
    for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders.append(data + QStringLiteral("/pixmaps"));
    folders.append(QStringLiteral("/usr/share/pixmaps"));
    folders.removeDuplicates();
    return folders;
}

QString DesktopIcons::desktopThemeName()
{
    const QString qtTheme = QIcon::themeName();
    if (!qtTheme.isEmpty() && qtTheme != QStringLiteral("hicolor"))
        return qtTheme;
    if (const auto settings = GtkSystemAppearance::userSettings()) {
        const QString gtkTheme = GtkSystemAppearance::settingsValue(*settings, "gtk-icon-theme-name");
        if (!gtkTheme.isEmpty() && themeInstalled(gtkTheme))
            return gtkTheme;
    }
    if (themeInstalled(QStringLiteral("Adwaita")))
        return QStringLiteral("Adwaita");
    return QStringLiteral("hicolor");
}

void DesktopIcons::prepareThemeLookup()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    QStringList searchPaths = themeFolders();
    searchPaths += QIcon::themeSearchPaths();
    searchPaths.removeDuplicates();
    QIcon::setThemeSearchPaths(searchPaths);
    QStringList fallbackPaths = QIcon::fallbackSearchPaths();
    fallbackPaths += pixmapFolders();
    fallbackPaths.removeDuplicates();
    QIcon::setFallbackSearchPaths(fallbackPaths);
    QIcon::setThemeName(desktopThemeName());
    QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

QIcon DesktopIcons::named(const QString &iconValue)
{
    prepareThemeLookup();
    const QString value = iconValue.trimmed();
    if (value.isEmpty())
        return {};
    if (QDir::isAbsolutePath(value))
        return QFileInfo(value).isFile() ? QIcon(value) : QIcon();
    // Some entries name a picture with its extension; the theme knows it by its bare name.
    QString name = value;
    for (const QLatin1String suffix : {QLatin1String(".png"), QLatin1String(".svg"), QLatin1String(".xpm")}) {
        if (name.endsWith(suffix, Qt::CaseInsensitive))
            name.chop(suffix.size());
    }
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    for (const QString &folder : pixmapFolders()) {
        for (const char *suffix : {".png", ".svg", ".xpm"}) {
            const QString path = folder + u'/' + name + QLatin1String(suffix);
            if (QFileInfo(path).isFile())
                return QIcon(path);
        }
    }
    return {};
}

QIcon DesktopIcons::genericApplication()
{
    static const QIcon icon(new GenericApplicationEngine);
    return icon;
}
