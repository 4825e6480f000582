#include "Platform/linux/DockPreferencesFile.h"

#include "Platform/PropertyList.h"

#include <QFile>

#include <sys/stat.h>

QString DockPreferencesFile::filePath()
{
    return qEnvironmentVariable("HOME") + QStringLiteral("/Library/Preferences/com.apple.dock.plist");
}

std::optional<DockPreferencesFile::FileStamp> DockPreferencesFile::stampOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileStamp{path,
                     quint64(info.st_dev),
                     quint64(info.st_ino),
                     qint64(info.st_size),
                     qint64(info.st_mtim.tv_sec),
                     qint64(info.st_mtim.tv_nsec),
                     qint64(info.st_ctim.tv_sec),
                     qint64(info.st_ctim.tv_nsec)};
}

std::optional<QVariantMap> DockPreferencesFile::read() const
{
    const QString path = filePath();
    const std::optional<FileStamp> before = stampOf(path);
    if (!before)
        return QFile::exists(path) ? std::nullopt : std::optional<QVariantMap>(QVariantMap());

    QMutexLocker lock(&m_cacheMutex);
    if (m_cachedStamp == before)
        return m_cachedDomain;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One byte past the limit is enough to tell an oversized file from one at the limit.
    const QByteArray bytes = file.read(PropertyList::maximumInputSize + 1);
    const std::optional<QVariant> root = PropertyList::parse(bytes);
    std::optional<QVariantMap> domain;
    if (root && root->typeId() == QMetaType::QVariantMap)
        domain = root->toMap();
    // Kept only when the file did not change while it was read.
    if (stampOf(path) == before) {
        m_cachedStamp = before;
        m_cachedDomain = domain;
    }
    return domain;
}

bool DockPreferencesFile::write(const QString &key, const QVariant &value)
{
    std::optional<QVariantMap> domain = read();
    if (!domain)
        return false;
    domain->insert(key, value);

    return PropertyList::writeBinaryFile(filePath(), *domain);
}
