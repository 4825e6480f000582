#include "Platform/linux/DesktopWorkspace.h"

#include "Platform/TypeIdentifiers.h"
#include "Platform/ApplicationBundles.h"
#include "Platform/DecodedIcons.h"
#include "Platform/FileStamp.h"
#include "Platform/MainThread.h"
#include "Platform/SeenPaths.h"
#include "Platform/linux/DesktopEntry.h"
#include "Platform/linux/DesktopIcons.h"
#include "Platform/linux/MimeApps.h"
#include "Platform/linux/TypeTable.h"

#include <QCoreApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QSet>
#include <QMimeDatabase>
#include <QThread>

#include <functional>

namespace {

bool onMainThread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

// Icons looked up by theme name or for a file, kept on the main thread until the desktop's entries
// change: a look-up searches the theme's folders or decodes the style's pictures, and a cell or a
// row asks again each time it is made. (A QIcon keeps the pixmaps it has drawn, one per size.)
struct IconCache {
    quint64 generation = 0;
    QHash<QString, QIcon> byName;
    // By desktop entry, by folder, by file name extension.
    QHash<QString, QIcon> byFile;
    // The picture files of each desktop entry's icon, and the state of the entry they were read
    // from (when it was read beside the main thread).
    QHash<QString, QList<DesktopIcons::IconFile>> entryFiles;
    QHash<QString, FileStamp> entryStamps;

    static IconCache *current()
    {
        if (!onMainThread())
            return nullptr;
        // Never destroyed: icons and their pixmaps must not outlive the application object.
        static auto *cache = new IconCache;
        const quint64 now = desktopEntriesGeneration();
        if (now != cache->generation) {
            *cache = IconCache();
            cache->generation = now;
        }
        return cache;
    }
};

QIcon lookUpThemeIcon(const QString &name)
{
    return QIcon::hasThemeIcon(name) ? QIcon::fromTheme(name) : QIcon();
}

QIcon themeIcon(const QStringList &names)
{
    DesktopIcons::prepareThemeLookup();
    IconCache *cache = IconCache::current();
    for (const QString &name : names) {
        if (name.isEmpty())
            continue;
        QIcon icon;
        if (!cache) {
            icon = lookUpThemeIcon(name);
        } else if (const auto found = cache->byName.constFind(name); found != cache->byName.cend()) {
            icon = *found;
        } else {
            icon = lookUpThemeIcon(name);
            cache->byName.insert(name, icon);
        }
        if (!icon.isNull())
            return icon;
    }
    return {};
}

// The picture files a desktop entry's "Icon=" names: an absolute image path or a theme icon name.
// Kept per entry on the main thread until the desktop's entries change.
QList<DesktopIcons::IconFile> desktopEntryIconFiles(const QString &path)
{
    IconCache *cache = IconCache::current();
    const QString key = QFileInfo(path).absoluteFilePath();
    if (cache) {
        if (const auto found = cache->entryFiles.constFind(key); found != cache->entryFiles.cend())
            return *found;
    }
    const std::optional<DesktopEntry> entry = DesktopEntry::load(path);
    const QList<DesktopIcons::IconFile> files = entry ? DesktopIcons::files(entry->value(QStringLiteral("Icon"))) : QList<DesktopIcons::IconFile>();
    if (cache)
        cache->entryFiles.insert(key, files);
    return files;
}

// The picture files a desktop entry's "Icon=" names, read now; none when it is no regular file.
QList<DesktopIcons::IconFile> readEntryIconFiles(const QString &path)
{
    const std::optional<DesktopEntry> entry = DesktopEntry::load(path);
    return entry ? DesktopIcons::files(entry->value(QStringLiteral("Icon"))) : QList<DesktopIcons::IconFile>();
}

bool isDesktopEntryPath(const QString &path)
{
    return path.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive);
}

// A desktop entry as the main thread knows it, the sizes its icon is wanted at, and what the
// thread beside found of it.
struct EntryIcons {
    QString path;
    QString key; // the absolute path the cache knows it by
    QList<int> sides;
    std::optional<FileStamp> stamp;
    QList<DesktopIcons::IconFile> files;
};

// Reads, on the icons' thread, the desktop entries of `entries` that changed since they were last
// read (or were never read), has their pictures decoded at the sizes wanted, and hands what it read
// to the main thread's cache, whose views are then told to draw again.
void fetchEntryIcons(QList<EntryIcons> entries, quint64 generation)
{
    QList<EntryIcons> read;
    QList<DecodedIcons::Wanted> wanted;
    for (EntryIcons &entry : entries) {
        const FileStamp stamp = FileStamp::of(entry.path);
        if (entry.stamp != stamp) {
            entry.files = stamp.exists && QFileInfo(entry.path).isFile() ? readEntryIconFiles(entry.path) : QList<DesktopIcons::IconFile>();
            entry.stamp = stamp;
            read.append(entry);
        }
        for (const int side : std::as_const(entry.sides)) {
            if (!entry.files.isEmpty())
                wanted.append({DesktopIcons::fileForSize(entry.files, side), side});
        }
    }
    // First, so that the views told below find their pictures asked for, every size of a file at once.
    if (DecodedIcons *icons = DecodedIcons::shared(); icons && !wanted.isEmpty())
        icons->lookBeside(wanted);
    if (read.isEmpty())
        return;
    postToMainThread([read = std::move(read), generation] {
        IconCache *cache = IconCache::current();
        if (!cache || cache->generation != generation)
            return;
        for (const EntryIcons &entry : read) {
            cache->entryFiles.insert(entry.key, entry.files);
            cache->entryStamps.insert(entry.key, *entry.stamp);
            cache->byFile.remove(QStringLiteral("entry:") + entry.key);
        }
        if (DecodedIcons *icons = DecodedIcons::shared()) {
            for (const EntryIcons &entry : read)
                icons->announce(entry.path);
        }
    });
}

// The entries asked to be prepared in this turn of the event loop, by path, with their sizes: they
// go to the icons' thread together once the turn is over.
QHash<QString, QList<int>> &entriesToPrepare()
{
    static QHash<QString, QList<int>> entries;
    return entries;
}

void prepareEntriesAsked()
{
    IconCache *cache = IconCache::current();
    DecodedIcons *icons = DecodedIcons::shared();
    const QHash<QString, QList<int>> asked = std::exchange(entriesToPrepare(), {});
    if (!cache || !icons || asked.isEmpty())
        return;
    QList<EntryIcons> entries;
    for (auto it = asked.cbegin(); it != asked.cend(); ++it) {
        EntryIcons entry;
        entry.path = it.key();
        entry.key = QFileInfo(entry.path).absoluteFilePath();
        entry.sides = it.value();
        if (const auto stamp = cache->entryStamps.constFind(entry.key); stamp != cache->entryStamps.cend()) {
            entry.stamp = *stamp;
            entry.files = cache->entryFiles.value(entry.key);
        }
        entries.append(entry);
    }
    icons->runBeside([entries = std::move(entries), generation = cache->generation] { fetchEntryIcons(entries, generation); });
}

// An icon that draws what `current` gives whenever it is drawn: it stands for one whose files are
// still being looked at beside the main thread, so that a view that kept it (a list's row, an
// opener's badge) shows the real icon once it is in.
class DrawnLaterIconEngine final : public QIconEngine {
public:
    explicit DrawnLaterIconEngine(std::function<QIcon()> current) : m_current(std::move(current)) {}

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override { return m_current().pixmap(size, mode, state); }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        m_current().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QIconEngine *clone() const override { return new DrawnLaterIconEngine(m_current); }
    QString key() const override { return QStringLiteral("KestrowanDrawnLaterIcon"); }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override { return m_current().availableSizes(mode, state); }

private:
    std::function<QIcon()> m_current;
};

// The icon of a desktop entry not read yet when it was asked for: what the main thread's cache
// knows of the entry when it is drawn, the generic application symbol until the entry is read.
QIcon entryIconDrawnLater(const QString &entry)
{
    return QIcon(new DrawnLaterIconEngine([entry] {
        const IconCache *cache = IconCache::current();
        const QList<DesktopIcons::IconFile> files = cache ? cache->entryFiles.value(entry) : QList<DesktopIcons::IconFile>();
        return files.isEmpty() ? DesktopIcons::genericApplication() : DesktopIcons::decoded(files);
    }));
}

// A desktop entry's icon: its pictures are files other programs and the user write, decoded out of
// the program; the generic application symbol stands in until they are in.
QIcon desktopEntryIcon(const QString &path)
{
    const QList<DesktopIcons::IconFile> files = desktopEntryIconFiles(path);
    return files.isEmpty() ? QIcon() : DesktopIcons::decoded(files);
}

QIcon fallbackIcon(QAbstractFileIconProvider::IconType type)
{
    return QFileIconProvider().icon(type);
}

// The icon iconForFile() gives, told from what was seen of the file rather than by the file: an
// application's by its kind, a folder's and a missing file's by theirs, a document's by its
// content type. Kept on the main thread by kind and type.
QIcon iconOfSeen(const QString &path, const SeenPaths::Seen &seen)
{
    if (ApplicationBundles::isApplicationPath(path)) {
        const QIcon icon = seen.isDir ? themeIcon({QStringLiteral("application-x-executable")}) : QIcon();
        return icon.isNull() ? DesktopIcons::genericApplication() : icon;
    }
    if (!seen.stamp.exists)
        return fallbackIcon(QAbstractFileIconProvider::File);
    if (seen.isDir)
        return fallbackIcon(QAbstractFileIconProvider::Folder);
    IconCache *cache = IconCache::current();
    const QString key = QStringLiteral("type:") + seen.mimeType;
    if (cache) {
        if (const auto found = cache->byFile.constFind(key); found != cache->byFile.cend())
            return *found;
    }
    const QMimeType mime = QMimeDatabase().mimeTypeForName(seen.mimeType);
    QIcon icon = mime.isValid() ? themeIcon({mime.iconName(), mime.genericIconName()}) : QIcon();
    if (icon.isNull())
        icon = fallbackIcon(QAbstractFileIconProvider::File);
    if (cache)
        cache->byFile.insert(key, icon);
    return icon;
}

// The icon of a file not looked at yet when it was asked for: what is known of the file when it is
// drawn, a generic file (or application) until then.
QIcon fileIconDrawnLater(const QString &path)
{
    return QIcon(new DrawnLaterIconEngine([path] {
        if (const std::optional<SeenPaths::Seen> seen = SeenPaths::kept(path))
            return iconOfSeen(path, *seen);
        return ApplicationBundles::isApplicationPath(path) ? DesktopIcons::genericApplication()
                                                           : fallbackIcon(QAbstractFileIconProvider::File);
    }));
}

} // namespace

Workspace::KeptIcon DesktopWorkspace::keptIconForFile(const QString &path) const
{
    // A desktop entry's icon comes from what was read of it beside the main thread already.
    if (!IconCache::current() || isDesktopEntryPath(path))
        return {iconForFile(path), false};
    DesktopIcons::prepareThemeLookup();
    const std::optional<SeenPaths::Seen> seen = SeenPaths::kept(path);
    if (!seen)
        return {fileIconDrawnLater(path), true};
    return {iconOfSeen(path, *seen), false};
}

QIcon DesktopWorkspace::iconForFile(const QString &path) const
{
    DesktopIcons::prepareThemeLookup();
    // An application's icon on the main thread comes from what was read of its entry beside it:
    // a window of hundreds of applications looks at none of their files as it shows.
    if (isDesktopEntryPath(path)) {
        if (IconCache *cache = IconCache::current()) {
            const QString entry = QFileInfo(path).absoluteFilePath();
            const QString key = QStringLiteral("entry:") + entry;
            if (const auto found = cache->byFile.constFind(key); found != cache->byFile.cend())
                return *found;
            const auto files = cache->entryFiles.constFind(entry);
            if (files == cache->entryFiles.cend()) {
                prepareIcons({path}, {});
                // Kept until the entry is read, when the icon of its files takes its place.
                const QIcon icon = entryIconDrawnLater(entry);
                cache->byFile.insert(key, icon);
                return icon;
            }
            const QIcon icon = files->isEmpty() ? DesktopIcons::genericApplication() : DesktopIcons::decoded(*files);
            cache->byFile.insert(key, icon);
            return icon;
        }
    }
    const QFileInfo info(path);
    // What decides the icon: the entry itself, the folder, or the extension of a document (one
    // without an extension is typed by its contents, and asked each time).
    const bool application = ApplicationBundles::isApplicationPath(path);
    QString key;
    if (!info.exists())
        key = application ? QStringLiteral("missing application") : QStringLiteral("missing");
    else if (info.isDir())
        key = u'/' + info.absoluteFilePath();
    else if (path.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive))
        key = QStringLiteral("entry:") + info.absoluteFilePath();
    else if (!info.suffix().isEmpty())
        key = QStringLiteral("suffix:") + info.suffix().toLower();
    IconCache *cache = key.isEmpty() ? nullptr : IconCache::current();
    if (cache) {
        if (const auto found = cache->byFile.constFind(key); found != cache->byFile.cend())
            return *found;
    }
    const QIcon icon = lookUpIconForFile(info);
    if (cache)
        cache->byFile.insert(key, icon);
    return icon;
}

std::optional<QString> DesktopWorkspace::pendingIconFile(const QString &path, int pixels) const
{
    if (!isDesktopEntryPath(path))
        return std::nullopt;
    if (IconCache *cache = IconCache::current()) {
        const auto files = cache->entryFiles.constFind(QFileInfo(path).absoluteFilePath());
        if (files != cache->entryFiles.cend())
            return DesktopIcons::pendingFile(*files, pixels);
        // Not read yet: it is read beside the main thread, and its views hear of it by its path.
        prepareIcons({path}, {pixels});
        return path;
    }
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return DesktopIcons::pendingFile(desktopEntryIconFiles(path), pixels);
}

void DesktopWorkspace::prepareIcons(const QStringList &paths, const QList<int> &pixels) const
{
    if (!IconCache::current())
        return;
    QHash<QString, QList<int>> &entries = entriesToPrepare();
    const bool first = entries.isEmpty();
    for (const QString &path : paths) {
        if (!isDesktopEntryPath(path))
            continue;
        QList<int> &sides = entries[path];
        for (const int side : pixels) {
            if (!sides.contains(std::max(1, side)))
                sides.append(std::max(1, side));
        }
    }
    if (first && !entries.isEmpty())
        postToMainThread(prepareEntriesAsked);
}

QIcon DesktopWorkspace::lookUpIconForFile(const QFileInfo &info)
{
    const QString path = info.filePath();
    // An application, even one that is gone, is drawn as an application: its own icon where it
    // names one that is installed, else the generic application symbol, never a document.
    if (ApplicationBundles::isApplicationPath(path)) {
        QIcon icon;
        if (path.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive) && info.isFile())
            icon = desktopEntryIcon(path);
        else if (info.isDir())
            icon = themeIcon({QStringLiteral("application-x-executable")});
        return icon.isNull() ? DesktopIcons::genericApplication() : icon;
    }
    if (!info.exists())
        return fallbackIcon(QAbstractFileIconProvider::File);
    const QIcon icon = QFileIconProvider().icon(info);
    return icon.isNull() ? fallbackIcon(info.isDir() ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File) : icon;
}

QIcon DesktopWorkspace::iconForContentType(const QString &type) const
{
    if (type == TypeIdentifiers::genericURLType) {
        const QIcon icon = themeIcon({QStringLiteral("text-html"), QStringLiteral("internet-web-browser"), QStringLiteral("applications-internet")});
        return icon.isNull() ? fallbackIcon(QAbstractFileIconProvider::Network) : icon;
    }
    const QMimeType mime = QMimeDatabase().mimeTypeForName(mimeTypeForTypeIdentifier(type));
    const QIcon icon = mime.isValid() ? themeIcon({mime.iconName(), mime.genericIconName()}) : QIcon();
    return icon.isNull() ? fallbackIcon(QAbstractFileIconProvider::File) : icon;
}

std::optional<QString> DesktopWorkspace::applicationForContentType(const QString &type) const
{
    return defaultApplicationForMimeType(mimeTypeForTypeIdentifier(type));
}

QString DesktopWorkspace::mimeTypeOfFile(const QString &path)
{
    // The file itself says what it is: a folder is "inode/directory" whatever its name, and a
    // regular file is typed by its first bytes and its name, so one without an extension still
    // gets a type. Anything else (a pipe, a device) is typed by its name only: reading it could
    // block or never end.
    const QFileInfo info(path);
    const QMimeDatabase database;
    if (info.isDir())
        return QStringLiteral("inode/directory");
    const QMimeType mime = info.isFile() ? database.mimeTypeForFile(info, QMimeDatabase::MatchDefault)
                                         : database.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    return mime.isValid() ? mime.name() : QString();
}

std::optional<QString> DesktopWorkspace::applicationToOpenURL(const QUrl &url) const
{
    if (url.isLocalFile()) {
        const QString type = mimeTypeOfFile(url.toLocalFile());
        return type.isEmpty() ? std::nullopt : defaultApplicationForMimeType(type);
    }
    if (url.scheme().isEmpty())
        return std::nullopt;
    return defaultApplicationForMimeType(QStringLiteral("x-scheme-handler/") + url.scheme().toLower());
}
