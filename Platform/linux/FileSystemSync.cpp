#include "Platform/linux/FileSystemSync.h"

#include "Platform/MainThread.h"
#include "Platform/logging/SystemErrorText.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::optional<QString> syncFileSystemOf(const QString &folder)
{
    const int handle = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return systemErrorText(errno);
    const int result = ::syncfs(handle);
    const int error = errno;
    ::close(handle);
    if (result != 0)
        return systemErrorText(error);
    return std::nullopt;
}

} // namespace

void FileSystemSync::flush(const QString &folder, Completion completion)
{
    if (!m_pool) {
        m_pool = new QThreadPool(QCoreApplication::instance());
        m_pool->setMaxThreadCount(1);
    }
    m_pool->start([folder, completion = std::move(completion)]() mutable {
        const std::optional<QString> failure = syncFileSystemOf(folder);
        if (!QCoreApplication::instance())
            return;
        postToMainThread([completion = std::move(completion), failure] {
            if (completion)
                completion(failure);
        });
    });
}
