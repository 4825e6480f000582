#include "Kestrowan/icons/SkinManager.h"

#include "Kestrowan/shell/Log.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/BoundedFile.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

const QString kSkinFile = QStringLiteral("skin.json");

// A skin description is a few KiB; anything else there (a fifo, a link to a device) is not read.
constexpr qint64 kSkinFileSizeLimit = 1024 * 1024;

std::optional<QByteArray> readWhole(const QString &path)
{
    return readSmallFile(path, kSkinFileSizeLimit);
}

// Removes a file, a link (never what it points to) or a folder with everything in it.
void removeItem(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || info.isFile())
        QFile::remove(path);
    else if (info.isDir())
        QDir(path).removeRecursively();
}

// Copies a folder tree. Links are left out, so an installed skin holds only files of its own; copies
// are writable by the user, whatever the source's permissions (resources are read-only).
void copyFolder(const QString &source, const QString &destination)
{
    if (!QDir().mkpath(destination))
        return;
    const QFileInfoList entries = QDir(source).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QString target = destination + QLatin1Char('/') + entry.fileName();
        if (entry.isSymLink())
            continue;
        if (entry.isDir()) {
            copyFolder(entry.filePath(), target);
        } else if (!SafeWrite::copyFile(entry.filePath(), target, SafeWrite::Existing::Refuse, SafeWrite::Durability::Rebuilt)) {
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        }
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
    installSkinFolders(m_shippedSkinsFolder);
    removeDeprecatedSkins();
}

void SkinManager::installSkinFolders(const QString &source)
{
    const QFileInfoList entries = QDir(source).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && QFileInfo(entry.filePath() + QLatin1Char('/') + kSkinFile).isFile())
            installSkinFolder(entry.filePath(), entry.fileName());
    }
}

void SkinManager::installSkinFolder(const QString &sourceFolder, const QString &name)
{
    const QString destination = m_skinsDirectory + QLatin1Char('/') + name;
    const QString installedFile = destination + QLatin1Char('/') + kSkinFile;
    if (QFileInfo::exists(installedFile)) {
        const auto shipped = readWhole(sourceFolder + QLatin1Char('/') + kSkinFile);
        const auto installed = readWhole(installedFile);
        if (shipped && installed && *shipped == *installed)
            return;
    }
    removeItem(destination);
    copyFolder(sourceFolder, destination);
}

void SkinManager::removeDeprecatedSkins()
{
    for (const QString &id : m_deprecatedBuiltInSkinIDs)
        removeItem(m_skinsDirectory + QLatin1Char('/') + id);
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
