#include "Platform/FileStamp.h"

#include <QFile>

#include <sys/stat.h>
#include <time.h>

FileStamp FileStamp::of(const QString &path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return FileStamp{true, qint64(info.st_size), quint64(info.st_dev), qint64(info.st_ino),
                     qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
                     qint64(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec};
}

bool FileStamp::settledAt(qint64 takenNanoseconds, qint64 margin) const
{
    return std::max(modifiedNanoseconds, changedNanoseconds) + margin < takenNanoseconds;
}

qint64 FileStamp::nowNanoseconds()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}
