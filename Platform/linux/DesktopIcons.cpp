#include "Platform/linux/DesktopIcons.h"

#include "Platform/BoundedFile.h"
#include "Platform/DecodedIcons.h"
#include "Platform/linux/GtkSystemAppearance.h"
#include "Platform/linux/MimeApps.h"

#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QFileInfo>
#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>

#include <algorithm>
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


// One folder of an icon theme as its "index.theme" describes it: the size its pictures are made
// for (a scalable folder's pictures are drawn at any size).
struct ThemeDirectory {
    QString path; // relative to the theme's folder
    int size = 0;
    int scale = 1;
};

struct ThemeIndex {
    QStringList inherits;
    QList<ThemeDirectory> directories;
};

// An index is a few hundred groups of a few keys; one pass reads them all.
ThemeIndex parseThemeIndex(const QByteArray &bytes)
{
    QHash<QString, QHash<QString, QString>> groups;
    QString group;
    for (const QByteArray &raw : bytes.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0 && !group.isEmpty())
            groups[group].insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    ThemeIndex index;
    const QHash<QString, QString> theme = groups.value(QStringLiteral("Icon Theme"));
    const auto list = [](const QString &value) {
        QStringList items;
        for (const QString &item : value.split(u',', Qt::SkipEmptyParts))
            if (!item.trimmed().isEmpty())
                items.append(item.trimmed());
        return items;
    };
    index.inherits = list(theme.value(QStringLiteral("Inherits")));
    for (const QString &path : list(theme.value(QStringLiteral("Directories"))) + list(theme.value(QStringLiteral("ScaledDirectories")))) {
        const QHash<QString, QString> keys = groups.value(path);
        ThemeDirectory directory;
        directory.path = path;
        directory.size = keys.value(QStringLiteral("Size")).toInt();
        if (directory.size <= 0 || path.contains(QLatin1String("..")))
            continue;
        directory.scale = std::clamp(keys.value(QStringLiteral("Scale"), QStringLiteral("1")).toInt(), 1, 8);
        index.directories.append(directory);
    }
    return index;
}

// Themes read once per process; an index that changes on disk is read again.
std::optional<ThemeIndex> themeIndex(const QString &theme)
{
    static std::mutex mutex;
    static std::map<QString, std::pair<QDateTime, ThemeIndex>> *indexes = new std::map<QString, std::pair<QDateTime, ThemeIndex>>;
    for (const QString &folder : DesktopIcons::themeFolders()) {
        const QString path = folder + u'/' + theme + QStringLiteral("/index.theme");
        const QFileInfo info(path);
        if (!info.isFile())
            continue;
        const std::lock_guard lock(mutex);
        if (const auto known = indexes->find(path); known != indexes->end() && known->second.first == info.lastModified())
            return known->second.second;
        const std::optional<QByteArray> bytes = readSmallFile(path, 4 * smallFileSizeLimit);
        if (!bytes)
            return std::nullopt;
        ThemeIndex index = parseThemeIndex(*bytes);
        (*indexes)[path] = {info.lastModified(), index};
        return index;
    }
    return std::nullopt;
}

ThemeIndex plainHicolorIndex()
{
    ThemeIndex index;
    index.directories.append({QStringLiteral("scalable/apps"), 128, 1});
    for (const int size : {512, 256, 192, 128, 96, 72, 64, 48, 36, 32, 24, 22, 16})
        index.directories.append({QStringLiteral("%1x%1/apps").arg(size), size, 1});
    return index;
}

// A picture file fit to be an icon: a scalable picture is drawn in this process, so one far larger
// than any real icon is passed over.
bool usableIconFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive) || path.endsWith(QLatin1String(".svgz"), Qt::CaseInsensitive))
        return info.size() <= DesktopIcons::scalableIconSizeLimit;
    return true;
}

const QStringList &pictureSuffixes()
{
    static const QStringList suffixes{QStringLiteral(".png"), QStringLiteral(".svg"), QStringLiteral(".xpm")};
    return suffixes;
}

// The theme and everything it inherits, depth first, each once, "hicolor" last.
QStringList themeChain(const QString &theme)
{
    QStringList chain;
    QStringList pending{theme};
    while (!pending.isEmpty() && chain.size() < 32) {
        const QString next = pending.takeFirst();
        if (next.isEmpty() || chain.contains(next) || next == QLatin1String("hicolor"))
            continue;
        chain.append(next);
        if (const std::optional<ThemeIndex> index = themeIndex(next))
            pending = index->inherits + pending;
    }
    chain.append(QStringLiteral("hicolor"));
    return chain;
}

using ThemePicture = std::pair<ThemeDirectory, QString>;

// The pictures a theme holds, by name, listed once a folder: a hundred applications asking for
// their icons would otherwise look for some thousand files each. Listed again when the desktop's
// entries change (an application installed brings its icons) or the folders searched do.
QList<ThemePicture> picturesNamed(const QString &theme, const ThemeIndex &index, const QString &name)
{
    struct Listing {
        bool listed = false;
        quint64 generation = 0;
        QStringList directories;
        QHash<QString, QList<ThemePicture>> byName;
    };
    static std::mutex mutex;
    static auto *listings = new std::map<QString, Listing>;
    const QStringList folders = DesktopIcons::themeFolders();
    const QString key = theme + u'\n' + folders.join(u'\n');
    const quint64 generation = desktopEntriesGeneration();
    const std::lock_guard lock(mutex);
    QStringList directories;
    for (const ThemeDirectory &directory : index.directories)
        directories.append(directory.path);
    Listing &listing = (*listings)[key];
    // Off the main thread the generation is not known (0): what is listed serves.
    const bool stale = generation != 0 && listing.generation != generation;
    if (!listing.listed || stale || listing.directories != directories) {
        listing = Listing{true, generation, directories, {}};
        for (const ThemeDirectory &directory : index.directories) {
            for (const QString &folder : folders) {
                const QString path = folder + u'/' + theme + u'/' + directory.path;
                const QStringList files = QDir(path).entryList({QStringLiteral("*.png"), QStringLiteral("*.svg"), QStringLiteral("*.xpm")}, QDir::Files);
                for (const QString &file : files)
                    listing.byName[file.left(file.lastIndexOf(u'.'))].append({directory, path + u'/' + file});
            }
        }
    }
    return listing.byName.value(name);
}

// Every picture of `name` in the first theme of the chain that has one, with the size it was made
// for (0 for a scalable one), scalable ones first.
QList<DesktopIcons::IconFile> themeIconFiles(const QString &name)
{
    for (const QString &theme : themeChain(DesktopIcons::desktopThemeName())) {
        std::optional<ThemeIndex> index = themeIndex(theme);
        // Applications install into "hicolor" whether or not its index is installed (it comes
        // in a package of its own): without one, its usual application folders are searched.
        if (!index && theme == QLatin1String("hicolor"))
            index = plainHicolorIndex();
        if (!index)
            continue;
        QList<std::pair<ThemeDirectory, QString>> found = picturesNamed(theme, *index, name);
        found.removeIf([](const auto &picture) { return !usableIconFile(picture.second); });
        if (found.isEmpty())
            continue;
        // Scalable pictures first: they draw every size, the fixed ones kept for the sizes they
        // were made for.
        std::stable_sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
            return a.second.endsWith(QLatin1String(".svg")) && !b.second.endsWith(QLatin1String(".svg"));
        });
        QList<DesktopIcons::IconFile> files;
        for (const auto &[directory, path] : found)
            files.append({path, path.endsWith(QLatin1String(".svg")) ? 0 : directory.size * directory.scale});
        return files;
    }
    return {};
}

// Draws the icon files as DecodedIcons has them, at the size asked for; never decodes itself.
class DecodedIconEngine final : public QIconEngine {
public:
    explicit DecodedIconEngine(QList<DesktopIcons::IconFile> files) : m_files(std::move(files)) {}

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        const int pixels = std::max(1, std::max(size.width(), size.height()));
        DecodedIcons *icons = DecodedIcons::shared();
        const DecodedIcons::Lookup found = icons ? icons->lookup(DesktopIcons::fileForSize(m_files, pixels), pixels)
                                                 : DecodedIcons::Lookup{DecodedIcons::State::Failed, {}};
        if (found.state != DecodedIcons::State::Ready)
            return DesktopIcons::genericApplication().pixmap(size, mode, state);
        QPixmap pixmap = QPixmap::fromImage(found.picture);
        if (mode == QIcon::Disabled) {
            QPixmap faded(pixmap.size());
            faded.fill(Qt::transparent);
            QPainter painter(&faded);
            painter.setOpacity(0.5);
            painter.drawPixmap(0, 0, pixmap);
            painter.end();
            return faded;
        }
        return pixmap;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const QPixmap drawn = pixmap((QSizeF(rect.size()) * ratio).toSize(), mode, state);
        if (drawn.isNull())
            return;
        const QSizeF fitted = QSizeF(drawn.size()).scaled(QSizeF(rect.size()), Qt::KeepAspectRatio);
        const QRectF target(rect.x() + (rect.width() - fitted.width()) / 2, rect.y() + (rect.height() - fitted.height()) / 2,
                            fitted.width(), fitted.height());
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawPixmap(target, drawn, QRectF(drawn.rect()));
        painter->restore();
    }

    QIconEngine *clone() const override { return new DecodedIconEngine(m_files); }
    QString key() const override { return QStringLiteral("KestrowanDecodedIcon"); }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(32, 32), QSize(64, 64), QSize(128, 128), QSize(256, 256), QSize(512, 512)};
    }

private:
    QList<DesktopIcons::IconFile> m_files;
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

QList<DesktopIcons::IconFile> DesktopIcons::files(const QString &iconValue)
{
    prepareThemeLookup();
    const QString value = iconValue.trimmed();
    if (value.isEmpty())
        return {};
    if (QDir::isAbsolutePath(value))
        return usableIconFile(value) ? QList<IconFile>{{value, 0}} : QList<IconFile>();
    // Some entries name a picture with its extension; the theme knows it by its bare name.
    QString name = value;
    for (const QString &suffix : pictureSuffixes()) {
        if (name.endsWith(suffix, Qt::CaseInsensitive))
            name.chop(suffix.size());
    }
    // A name is a file name in the theme's folders, never a path of its own.
    if (name.isEmpty() || name.contains(u'/'))
        return {};
    // The desktop's theme, the themes it inherits and "hicolor", read here rather than through
    // Qt's look-up, so that the stand-in Dock finds exactly what the program finds.
    if (QList<IconFile> found = themeIconFiles(name); !found.isEmpty())
        return found;
    for (const QString &folder : pixmapFolders()) {
        for (const QString &suffix : pictureSuffixes()) {
            const QString path = folder + u'/' + name + suffix;
            if (usableIconFile(path))
                return {{path, 0}};
        }
    }
    return {};
}

QString DesktopIcons::fileForSize(const QList<IconFile> &files, int pixels)
{
    const IconFile *best = nullptr;
    const IconFile *scalable = nullptr;
    const IconFile *largest = nullptr;
    for (const IconFile &file : files) {
        if (file.size == 0) {
            if (!scalable)
                scalable = &file;
            continue;
        }
        if (file.size >= pixels && (!best || file.size < best->size))
            best = &file;
        if (!largest || file.size > largest->size)
            largest = &file;
    }
    if (best)
        return best->path;
    if (scalable)
        return scalable->path;
    return largest ? largest->path : QString();
}

QIcon DesktopIcons::named(const QString &iconValue)
{
    const QList<IconFile> found = files(iconValue);
    QIcon icon;
    for (const IconFile &file : found) {
        if (file.size == 0)
            icon.addFile(file.path);
        else
            icon.addFile(file.path, QSize(file.size, file.size));
    }
    return icon;
}

QIcon DesktopIcons::decoded(const QList<IconFile> &files)
{
    if (files.isEmpty())
        return genericApplication();
    return QIcon(new DecodedIconEngine(files));
}

std::optional<QString> DesktopIcons::pendingFile(const QList<IconFile> &files, int pixels)
{
    DecodedIcons *icons = DecodedIcons::shared();
    pixels = std::max(1, pixels);
    if (files.isEmpty() || !icons)
        return std::nullopt;
    const QString file = fileForSize(files, pixels);
    if (icons->lookup(file, pixels).state != DecodedIcons::State::Pending)
        return std::nullopt;
    return file;
}

QIcon DesktopIcons::genericApplication()
{
    static const QIcon icon(new GenericApplicationEngine);
    return icon;
}
