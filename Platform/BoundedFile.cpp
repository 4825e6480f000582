#include "Platform/BoundedFile.h"

#include <QFile>
#include <QFileInfo>

std::optional<QByteArray> readSmallFile(const QString &path, qint64 limit, QString *failure)
{
    auto fail = [failure](const QString &reason) -> std::optional<QByteArray> {
        if (failure)
            *failure = reason;
        return std::nullopt;
    };
    // A fifo or device would block or never end; only regular files are read.
    const QFileInfo info(path);
    if (!info.isFile())
        return fail(QStringLiteral("not a regular file"));
    if (info.size() > limit)
        return fail(QStringLiteral("larger than %1 bytes").arg(limit));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    // The size may have grown since it was checked; read one byte past the limit to notice.
    QByteArray bytes = file.read(limit + 1);
    if (bytes.size() > limit)
        return fail(QStringLiteral("larger than %1 bytes").arg(limit));
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    return bytes;
}
