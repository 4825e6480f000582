#include "Platform/linux/DockPreferencesFile.h"

#include "Platform/PropertyList.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
Q_LOGGING_CATEGORY(dockPreferencesLog, "com.kestrowan.app.dock")
}

QString DockPreferencesFile::filePath()
{
    return qEnvironmentVariable("HOME") + QStringLiteral("/Library/Preferences/com.apple.dock.plist");
}

std::optional<QVariantMap> DockPreferencesFile::read() const
{
    const QString path = filePath();
    const ParsedFile before{path, FileStamp::of(path)};
    if (!before.stamp.exists)
        return QFile::exists(path) ? std::nullopt : std::optional<QVariantMap>(QVariantMap());

    QMutexLocker lock(&m_cacheMutex);
    if (m_cachedFile == before)
        return m_cachedDomain;

    const std::optional<QByteArray> bytes = storedBytes(path);
    const std::optional<QVariantMap> domain = bytes ? PropertyList::storedDictionary(*bytes) : std::nullopt;
    // Kept only when the file did not change while it was read.
    if (FileStamp::of(path) == before.stamp) {
        m_cachedFile = before;
        m_cachedDomain = domain;
    }
    return domain;
}

std::optional<QByteArray> DockPreferencesFile::storedBytes(const QString &path)
{
    QString failure;
    std::optional<QByteArray> bytes = PropertyList::readStoredFile(path, &failure);
    if (!bytes)
        qCWarning(dockPreferencesLog, "The Dock preferences %s cannot be read: %s", qPrintable(path), qPrintable(failure));
    return bytes;
}

bool DockPreferencesFile::write(const QString &key, const QVariant &value, int *error)
{
    // The change is made in the stored tree itself, so the Dock's and other programs' values are
    // written back byte for byte, not through a round trip of their own.
    const QString path = filePath();
    const std::optional<QByteArray> stored = storedBytes(path);
    if (!stored)
        return false;
    const std::optional<QByteArray> bytes = PropertyList::withKeyReplaced(*stored, key, value);
    if (!bytes || bytes->isEmpty())
        return false;
    return !SafeWrite::replaceFile(path, *bytes, SafeWrite::Folder::Make, SafeWrite::Durability::Disk, error);
}

StoredFileLock DockPreferencesFile::lockForChange()
{
    const QString path = filePath();
    // The lock file lies beside the stored one: a home without the folder gets it, as a write would.
    QDir().mkpath(QFileInfo(path).absolutePath());
    return StoredFileLock::tryLock(path);
}

DockPreferencesFile::~DockPreferencesFile()
{
    if (m_versionedFile >= 0)
        ::close(m_versionedFile);
}

QByteArray DockPreferencesFile::storedVersion()
{
    const int opened = ::open(QFile::encodeName(filePath()).constData(), O_PATH | O_CLOEXEC);
    struct stat info {};
    QByteArray version("none");
    if (opened >= 0 && ::fstat(opened, &info) == 0) {
        version = QByteArray::number(quint64(info.st_dev)) + ':' + QByteArray::number(quint64(info.st_ino)) + ':'
                  + QByteArray::number(qint64(info.st_size)) + ':' + QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.'
                  + QByteArray::number(qint64(info.st_mtim.tv_nsec)) + ':' + QByteArray::number(qint64(info.st_ctim.tv_sec))
                  + '.' + QByteArray::number(qint64(info.st_ctim.tv_nsec));
    }
    if (m_versionedFile >= 0)
        ::close(m_versionedFile);
    m_versionedFile = opened;
    return version;
}
