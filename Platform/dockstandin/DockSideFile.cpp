#include "Platform/dockstandin/DockSideFile.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DockSideFile {

std::optional<QByteArray> read(const QString &path, qint64 maximumSize, QString *why)
{
    const QByteArray name = QFile::encodeName(path);
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        *why = errno == ENOENT ? QString() : QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    QFile file;
    file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1
        || status.st_uid != ::geteuid()) {
        *why = QStringLiteral("not a file of this Dock's own");
        return std::nullopt;
    }
    const QByteArray bytes = file.read(maximumSize + 1);
    if (status.st_size > maximumSize || bytes.size() > maximumSize) {
        *why = QStringLiteral("larger than a Dock writes");
        return std::nullopt;
    }
    return bytes;
}

bool write(const QString &path, const QByteArray &bytes, QString *why)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::lstat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode)) {
        *why = QStringLiteral("not a regular file");
        return false;
    }
    QByteArray temporary = name + ".XXXXXX";
    const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t step = ::write(descriptor, bytes.constData() + written, size_t(bytes.size() - written));
        if (step < 0 && errno == EINTR)
            continue;
        if (step <= 0)
            break;
        written += step;
    }
    const int failure = written == bytes.size() ? 0 : (errno != 0 ? errno : EIO);
    const bool closed = ::close(descriptor) == 0;
    if (failure != 0 || !closed || ::rename(temporary.constData(), name.constData()) != 0) {
        const int cause = failure != 0 ? failure : errno;
        ::unlink(temporary.constData());
        *why = QString::fromLocal8Bit(std::strerror(cause));
        return false;
    }
    return true;
}

} // namespace DockSideFile
