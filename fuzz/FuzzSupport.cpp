#include "fuzz/FuzzSupport.h"

#include <QtEndian>

#include <libdeflate.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

namespace FuzzSupport {

void initialise()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    static QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + QStringLiteral("/.cache")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/.local/share")));
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

QString writeScratchFile(const QString &name, const QByteArray &bytes)
{
    const QString path = QDir::homePath() + QLatin1Char('/') + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

} // namespace FuzzSupport

void FuzzSupport::mendPngChecksums(QByteArray &file)
{
    for (qsizetype at = 8; file.size() - at >= 12;) {
        const quint32 length = qFromBigEndian<quint32>(file.constData() + at);
        if (length > quint32(file.size() - at - 12))
            return;
        const quint32 checksum = quint32(libdeflate_crc32(0, file.constData() + at + 4, size_t(length) + 4));
        qToBigEndian(checksum, file.data() + at + 8 + length);
        at += 12 + qsizetype(length);
    }
}

QByteArray FuzzSupport::withChunkPastTheEnd(const QByteArray &file)
{
    // The signature and the header chunk, as far as the file has them.
    constexpr qsizetype headerEnd = 8 + 12 + 13;
    if (file.size() < headerEnd || !file.startsWith("\x89PNG\r\n\x1a\n"))
        return {};
    QByteArray chunk(8, Qt::Uninitialized);
    qToBigEndian<quint32>(0x30000000, chunk.data());
    std::memcpy(chunk.data() + 4, "tEXt", 4);
    return file.left(headerEnd) + chunk + file.mid(headerEnd);
}

QByteArray FuzzSupport::insideIconFile(const QByteArray &picture)
{
    constexpr qsizetype directoryEnd = 6 + 16;
    QByteArray icon(directoryEnd, '\0');
    qToLittleEndian<quint16>(1, icon.data() + 2);
    qToLittleEndian<quint16>(1, icon.data() + 4);
    // 0 by 0 stands for 256 pixels a side, as 32 bits a pixel.
    qToLittleEndian<quint16>(1, icon.data() + 6 + 4);
    qToLittleEndian<quint16>(32, icon.data() + 6 + 6);
    qToLittleEndian<quint32>(quint32(picture.size()), icon.data() + 6 + 8);
    qToLittleEndian<quint32>(quint32(directoryEnd), icon.data() + 6 + 12);
    return icon + picture;
}
