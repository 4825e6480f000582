#pragma once

#include "Platform/DiskFlush.h"

#include <QPointer>
#include <QThreadPool>

// syncfs(2) of the folder's file system, on a thread of a pool the application object owns (it
// joins the thread as it goes). One call writes out every file of a batch, where an fsync per file
// would wait on the disk once for each.
class FileSystemSync final : public DiskFlush {
public:
    void flush(const QString &folder, Completion completion) override;

private:
    QPointer<QThreadPool> m_pool;
};
