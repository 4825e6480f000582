#include "Kestrowan/icons/SkinManager.h"

#include "Kestrowan/shell/Log.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/BoundedFile.h"
#include "Platform/safewrite/OwnFiles.h"
#include "Platform/safewrite/OwnRecord.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSkinFile = QStringLiteral("skin.json");

// A skin description is a few KiB; anything else there (a fifo, a link to a device) is not read.
constexpr qint64 kSkinFileSizeLimit = 1024 * 1024;

std::optional<QByteArray> readWhole(const QString &path)
{
    return readSmallFile(path, kSkinFileSizeLimit);
}

const QByteArray installedMark = QByteArrayLiteral("installed-skin");

// What stands at `path` itself, a link not followed; 0 when nothing does.
mode_t kindAt(const QString &path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    return status.st_mode & S_IFMT;
}

QString kindName(mode_t kind)
{
    switch (kind) {
    case S_IFLNK:
        return QStringLiteral("a link");
    case S_IFIFO:
        return QStringLiteral("a fifo");
    case S_IFSOCK:
        return QStringLiteral("a socket");
    case S_IFDIR:
        return QStringLiteral("a folder");
    case S_IFREG:
        return QStringLiteral("a file");
    default:
        return QStringLiteral("a device");
    }
}

// Copies a folder tree over what is installed: each shipped file replaces an installed file of
// its name that stands as the skins folder's record says the install left it, and whatever else
// the user put in the folder (or saved over an installed file, or edited in place) stays. Nothing
// is written through a link or over anything but a regular file, and a new entry is made only
// where nothing stands. Links in the source are left out, so an installed skin holds only
// files of its own; copies are writable by the user, whatever the source's permissions (resources
// are read-only). Each name goes into the record before its entry is made, and is recorded as made
// only once this install made it. "skin.json" comes last: a copy cut short leaves the old one, and
// the next start copies again.
void copyFolder(const QString &source, const QString &destination, OwnRecord &record, const QByteArray &relative, bool top = true)
{
    if (kindAt(destination) == 0) {
        if (!record.announce({relative}))
            return;
        if (::mkdir(QFile::encodeName(destination).constData(), 0777) == 0) {
            record.noteMade({relative});
        } else {
            // A folder of the user's that appeared meanwhile stays theirs.
            record.withdraw({relative});
            if (errno != EEXIST)
                return;
        }
    }
    if (kindAt(destination) != S_IFDIR)
        return;
    QFileInfoList entries = QDir(source).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    if (top)
        std::stable_partition(entries.begin(), entries.end(), [](const QFileInfo &entry) { return entry.fileName() != kSkinFile; });
    for (const QFileInfo &entry : std::as_const(entries)) {
        const QString target = destination + QLatin1Char('/') + entry.fileName();
        const QByteArray name = relative + '/' + QFile::encodeName(entry.fileName());
        if (entry.isSymLink())
            continue;
        const mode_t installed = kindAt(target);
        if (entry.isDir()) {
            if (installed == 0 || installed == S_IFDIR)
                copyFolder(entry.filePath(), target, record, name, false);
            else
                qCCritical(appLogger, "Left %s as it is: it is %s where the skin has a folder",
                           qUtf8Printable(loggedText(target)), qUtf8Printable(kindName(installed)));
            continue;
        }
        const auto leftAsItIs = [&] {
            qCCritical(appLogger, "Left %s as it is: it is %s Kestrowan did not install",
                       qUtf8Printable(loggedText(target)), qUtf8Printable(kindName(installed)));
        };
        // The install's own file goes first, as the record says it was made, judged as it is set
        // aside; the new one is then made where nothing stands.
        if (installed != 0 && (installed != S_IFREG || !record.isOurs(name))) {
            leftAsItIs();
            continue;
        }
        if (installed != 0) {
            const OwnRecord::Outcome outcome = record.remove({name}).value(name, OwnRecord::Outcome::Failed);
            if (outcome == OwnRecord::Outcome::NotOurs)
                leftAsItIs();
            if (outcome != OwnRecord::Outcome::Removed && outcome != OwnRecord::Outcome::Absent)
                continue;
        }
        const QByteArray folder = name.left(name.lastIndexOf('/') + 1);
        if (!record.announce({name}))
            continue;
        if (!SafeWrite::copyFile(entry.filePath(), target, SafeWrite::Existing::Refuse, SafeWrite::Durability::Rebuilt, {}, nullptr,
                                 [&](const QByteArray &temporary) { return record.announceTemporary(folder + temporary); })) {
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
            record.noteMade({name});
        } else {
            record.withdraw({name});
        }
    }
}

// The entries an earlier version installed carry its mark: they are taken into the record (and
// nothing else), once, for a skins folder that has none yet.
void adoptMarkedEntries(OwnRecord &record, const QString &folder, const QByteArray &relative, QList<QByteArray> *adopted, int depth = 0)
{
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString path = folder + u'/' + name;
        const QByteArray entry = relative.isEmpty() ? QFile::encodeName(name) : relative + '/' + QFile::encodeName(name);
        const mode_t kind = kindAt(path);
        if (kind != S_IFDIR && kind != S_IFREG)
            continue;
        const int handle = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (handle < 0)
            continue;
        if (OwnFiles::isMarked(handle, installedMark))
            adopted->append(entry);
        ::close(handle);
        if (kind == S_IFDIR && depth < 16)
            adoptMarkedEntries(record, path, entry, adopted, depth + 1);
    }
}

// Names compare by the Unicode scalar values of their composed forms, whatever the locale.
std::u32string sortKey(const QString &name)
{
    const QList<uint> scalars = name.normalized(QString::NormalizationForm_C).toUcs4();
    return std::u32string(scalars.cbegin(), scalars.cend());
}

} // namespace

QString SkinManager::bundledSkinsFolder()
{
    return ResourceBundle::packaged().path() + QStringLiteral("/Skins");
}

SkinManager::SkinManager(QObject *parent)
    : SkinManager(skinsDirectoryURL(), bundledSkinsFolder(), parent)
{
}

SkinManager::SkinManager(const QString &skinsDirectory, const QString &shippedSkinsFolder, QObject *parent)
    : QObject(parent), m_skinsDirectory(skinsDirectory), m_shippedSkinsFolder(shippedSkinsFolder)
{
    QDir().mkpath(m_skinsDirectory);
    installBundledSkins();
    loadSkins();
}

std::optional<SkinDefinition> SkinManager::skinWithID(const QString &id) const
{
    for (const SkinDefinition &skin : m_availableSkins) {
        if (skin.id == id)
            return skin;
    }
    return std::nullopt;
}

void SkinManager::installBundledSkins()
{
    if (m_shippedSkinsFolder.isEmpty() || !QFileInfo(m_shippedSkinsFolder).isDir())
        return;
    OwnRecord record(QFileInfo(m_skinsDirectory).absolutePath() + QStringLiteral("/Made Entries"), m_skinsDirectory);
    if (!record.isOpen())
        return;
    if (!record.existed()) {
        QList<QByteArray> adopted;
        adoptMarkedEntries(record, m_skinsDirectory, QByteArray(), &adopted);
        record.adopt(adopted);
    }
    installSkinFolders(m_shippedSkinsFolder, record);
    removeDeprecatedSkins(record);
}

void SkinManager::installSkinFolders(const QString &source, OwnRecord &record)
{
    const QFileInfoList entries = QDir(source).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && QFileInfo(entry.filePath() + QLatin1Char('/') + kSkinFile).isFile())
            installSkinFolder(entry.filePath(), entry.fileName(), record);
    }
}

void SkinManager::installSkinFolder(const QString &sourceFolder, const QString &name, OwnRecord &record)
{
    const QString destination = m_skinsDirectory + QLatin1Char('/') + name;
    const QString installedFile = destination + QLatin1Char('/') + kSkinFile;
    // What stands in an installed skin's place that is no folder, or a "skin.json" that is no file,
    // is the user's (a link to skins kept elsewhere) or nothing the program made: it is left alone.
    const mode_t folder = kindAt(destination);
    const mode_t file = folder == S_IFDIR ? kindAt(installedFile) : 0;
    if ((folder != 0 && folder != S_IFDIR) || (file != 0 && file != S_IFREG)) {
        qCCritical(appLogger, "Refused to install skin %s: %s is %s", qUtf8Printable(loggedText(name)),
                   qUtf8Printable(folder != S_IFDIR ? name : name + QLatin1Char('/') + kSkinFile),
                   qUtf8Printable(kindName(folder != S_IFDIR ? folder : file)));
        return;
    }
    if (file == S_IFREG) {
        const auto shipped = readWhole(sourceFolder + QLatin1Char('/') + kSkinFile);
        const auto installed = readWhole(installedFile);
        if (shipped && installed && *shipped == *installed)
            return;
    }
    copyFolder(sourceFolder, destination, record, QFile::encodeName(name));
}

void SkinManager::removeDeprecatedSkins(OwnRecord &record)
{
    // Only what an install put there goes; a retired skin's folder that holds files of the user's
    // stays with them.
    const QList<QByteArray> recorded = record.recordedNames();
    for (const QString &id : m_deprecatedBuiltInSkinIDs) {
        const QByteArray top = QFile::encodeName(id);
        QList<QByteArray> names;
        for (const QByteArray &name : recorded) {
            if (name == top || name.startsWith(top + '/'))
                names.append(name);
        }
        if (names.isEmpty()) {
            if (kindAt(m_skinsDirectory + QLatin1Char('/') + id) != 0)
                qCInfo(appLogger, "Kept the retired skin folder %s: it holds files Kestrowan did not install", qUtf8Printable(id));
            continue;
        }
        record.remove(names);
        if (kindAt(m_skinsDirectory + QLatin1Char('/') + id) != 0) {
            qCInfo(appLogger, "Kept the retired skin folder %s: it holds files Kestrowan did not install", qUtf8Printable(id));
            // The user's from now on.
            record.forget(names);
        }
    }
}

void SkinManager::loadSkins()
{
    const QDir directory(m_skinsDirectory);
    if (!directory.exists())
        return;
    QList<SkinDefinition> skins;
    const QFileInfoList entries = directory.entryInfoList(QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const auto bytes = readWhole(entry.filePath() + QLatin1Char('/') + kSkinFile);
        if (!bytes)
            continue;
        QString error;
        const auto skin = SkinDefinition::decode(*bytes, &error);
        if (!skin) {
            qCCritical(appLogger, "Skipped skin folder %s: %s", qUtf8Printable(loggedText(entry.fileName())), qUtf8Printable(error));
            continue;
        }
        if (const auto problem = skin->packageProblem(entry.fileName())) {
            qCCritical(appLogger, "Refused skin folder %s: %s", qUtf8Printable(loggedText(entry.fileName())), qUtf8Printable(*problem));
            continue;
        }
        skins.append(*skin);
    }
    QList<std::pair<std::u32string, SkinDefinition>> keyed;
    keyed.reserve(skins.size());
    for (const SkinDefinition &skin : skins)
        keyed.append({sortKey(skin.name), skin});
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    skins.clear();
    for (const auto &pair : keyed)
        skins.append(pair.second);
    setAvailableSkins(skins);
}

void SkinManager::setAvailableSkins(const QList<SkinDefinition> &skins)
{
    if (skins == m_availableSkins)
        return;
    m_availableSkins = skins;
    emit availableSkinsChanged();
}
