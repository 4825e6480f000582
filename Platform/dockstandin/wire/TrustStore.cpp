#include "Platform/dockstandin/wire/TrustStore.h"

#include <QDateTime>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QFile>
#include <QFileInfo>
#include "Platform/safewrite/SafeWrite.h"
#include <QStandardPaths>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList readGrantFile(const QString &path)
{
    // Only a regular file grants anything; a fifo in its place must not block the open (the Dock
    // and every client check grants while they start).
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return {};
    struct stat status {};
    QFile file;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)
        || !file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return {};
    }
    QStringList grants;
    // A grant file of a sane size; anything larger is not ours and grants nothing.
    const QByteArray bytes = file.read(1024 * 1024);
    for (const QByteArray &line : bytes.split('\n')) {
        const QString path = QString::fromUtf8(line).trimmed();
        if (path.startsWith(u'/'))
            grants.append(path);
    }
    return grants;
}

// The Dock checks the grants on every request, many times a second while the pointer moves; the
// file is read again only when it has changed.
QStringList readGrants()
{
    static QMutex mutex;
    static QString cachedPath;
    static QDateTime cachedTime;
    static qint64 cachedSize = -1;
    static QStringList cachedGrants;
    const QString path = TrustStore::filePath();
    const QFileInfo info(path);
    QMutexLocker lock(&mutex);
    if (!info.exists())
        return {};
    if (path != cachedPath || info.lastModified() != cachedTime || info.size() != cachedSize) {
        cachedGrants = readGrantFile(path);
        cachedPath = path;
        cachedTime = info.lastModified();
        cachedSize = info.size();
    }
    return cachedGrants;
}

} // namespace

QString TrustStore::filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/kestrowan-dock/trusted-clients");
}

bool TrustStore::isTrusted(const QString &executablePath)
{
    return !executablePath.isEmpty() && readGrants().contains(executablePath);
}

bool TrustStore::grant(const QString &executablePath)
{
    if (!executablePath.startsWith(u'/') || executablePath.contains(u'\n') || executablePath.contains(u'\r'))
        return false;
    QStringList grants = readGrants();
    if (grants.contains(executablePath))
        return true;
    grants.append(executablePath);
    return !SafeWrite::replaceFile(filePath(), grants.join(u'\n').toUtf8() + '\n', SafeWrite::Folder::Make);
}

QString TrustStore::executableOfProcess(qint64 processIdentifier)
{
    if (processIdentifier <= 0)
        return {};
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(processIdentifier)).symLinkTarget();
}

QString TrustStore::executableOfThisProcess()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}
