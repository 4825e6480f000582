#include "fuzz/FuzzSupport.h"

#include <QtEndian>

#include <libdeflate.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
