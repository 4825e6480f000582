#include "Platform/BoundedFile.h"
#include "Platform/logging/SystemErrorText.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<QByteArray> readSmallFile(const QString &path, qint64 limit, QString *failure)
{
    auto fail = [failure](const QString &reason) -> std::optional<QByteArray> {
        if (failure)
            *failure = reason;
        return std::nullopt;
    };
    // The system's reason, in English: the file's own text follows the interface's language.
    const auto failed = [&fail](int error) { return fail(error != 0 ? systemErrorText(error) : QStringLiteral("read error")); };
    // A fifo or device would block or never end; only regular files are read.
    const QFileInfo info(path);
    if (!info.isFile())
        return fail(QStringLiteral("not a regular file"));
    if (info.size() > limit)
        return fail(QStringLiteral("larger than %1 bytes").arg(limit));
    QFile file(path);
    if (path.startsWith(u':')) {
        // Compiled into the program: no fifo can stand there.
        errno = 0;
        if (!file.open(QIODevice::ReadOnly))
            return failed(errno);
    } else {
        // Opened without blocking and checked again on the open descriptor: a fifo put in the
        // file's place after the check above would otherwise block the open until someone writes.
        const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (descriptor < 0)
            return failed(errno);
        struct stat status {};
        if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(descriptor);
            return fail(QStringLiteral("not a regular file"));
        }
        if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(descriptor);
            return failed(0);
        }
    }
    // Sized to the file, not to the limit; the file may grow while it is read, so reading goes on to
    // its end, but never past one byte over the limit.
    QByteArray bytes(qMin(info.size(), limit) + 1, Qt::Uninitialized);
    errno = 0;
    const qint64 got = file.read(bytes.data(), bytes.size());
    if (got < 0)
        return failed(errno);
    bytes.truncate(got);
    while (bytes.size() <= limit) {
        const QByteArray more = file.read(qMin<qint64>(64 * 1024, limit + 1 - bytes.size()));
        if (more.isEmpty())
            break;
        bytes.append(more);
    }
    if (file.error() != QFileDevice::NoError)
        return failed(errno);
    if (bytes.size() > limit)
        return fail(QStringLiteral("larger than %1 bytes").arg(limit));
    return bytes;
}
