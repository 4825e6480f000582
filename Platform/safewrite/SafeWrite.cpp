#include "Platform/safewrite/SafeWrite.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace SafeWrite {

std::optional<QString> writeThrough(QFileDevice &device, const QByteArray &bytes, Durability durability)
{
    if (device.write(bytes) != bytes.size())
        return device.errorString();
    // The write above may only have filled the device's buffer; the disk's answer comes with the flush.
    if (!device.flush() || device.error() != QFileDevice::NoError)
        return device.errorString();
    const int handle = device.handle();
    if (durability == Durability::Disk && handle >= 0 && ::fsync(handle) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return std::nullopt;
}

std::optional<QString> replaceFile(const QString &path, const QByteArray &bytes, Folder folder, Durability durability)
{
    const QString folderPath = QFileInfo(path).absolutePath();
    if (folder == Folder::Make && !QDir().mkpath(folderPath))
        return QStringLiteral("cannot create the folder %1").arg(folderPath);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (std::optional<QString> reason = writeThrough(file, bytes, durability)) {
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

} // namespace SafeWrite
