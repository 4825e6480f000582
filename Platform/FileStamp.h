#pragma once

#include <QString>

// What identifies one state of a file or folder: a change of its content (or, for a folder, of its
// entries), a replacement by another file or its removal all give another stamp. Nothing exists at
// the path when `exists` is false.
struct FileStamp {
    bool exists = false;
    qint64 size = 0;
    quint64 device = 0;
    qint64 inode = 0;
    qint64 modifiedNanoseconds = 0;
    qint64 changedNanoseconds = 0;

    static FileStamp of(const QString &path);
    // The file system keeps its times in coarse steps: a change made just after a stamp was taken
    // can leave the same stamp. A stamp counts only once it is older than `margin` nanoseconds
    // when it was taken at `takenNanoseconds` (CLOCK_REALTIME).
    bool settledAt(qint64 takenNanoseconds, qint64 margin = 100'000'000) const;
    static qint64 nowNanoseconds();
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};
