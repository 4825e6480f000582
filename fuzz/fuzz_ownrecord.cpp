// The record of what the program made in a folder, as whatever bytes stand in its place: reading it,
// judging every name it holds, removing them and finishing what it says a killed run left never
// crashes, and never reaches outside the folder it is the record of (a name climbing out with "..",
// an absolute one, one through a link of the user's inside).
#include "Platform/safewrite/OwnRecord.h"
#include "fuzz/FuzzSupport.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace {

bool holds(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QString base = QDir::homePath() + QStringLiteral("/records-fuzz");
    const QString records = base + QStringLiteral("/Made Entries");
    const QString folder = base + QStringLiteral("/Work");
    const QString outside = base + QStringLiteral("/Outside");
    QDir(base).removeRecursively();
    QDir().mkpath(records);
    QDir().mkpath(folder + QStringLiteral("/inner"));
    QDir().mkpath(outside);
    put(outside + QStringLiteral("/kept.txt"), "outside");
    put(folder + QStringLiteral("/made.txt"), "made");
    QFile::link(outside, folder + QStringLiteral("/through"));
    struct stat status {};
    if (::stat(QFile::encodeName(folder).constData(), &status) != 0)
        return 0;
    QByteArray bytes = FuzzSupport::bytes(data, size);
    // The folder line names this folder wherever the input says "@", so that the start takes it up.
    bytes.replace("@", QFile::encodeName(folder).toHex());
    put(records + QStringLiteral("/%1-%2").arg(quint64(status.st_dev)).arg(quint64(status.st_ino)), bytes);

    OwnRecord::finishCutShort(records);
    {
        OwnRecord record(records, folder);
        const QList<QByteArray> names = record.recordedNames();
        for (const QByteArray &name : names)
            (void)record.isOurs(name);
        record.remove(names);
        record.announce(names.mid(0, 8));
        record.noteMade(names.mid(0, 8));
        record.forget(names.mid(8, 8));
    }
    if (!holds(outside + QStringLiteral("/kept.txt"), "outside"))
        __builtin_trap();
    return 0;
}
