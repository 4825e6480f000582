#include "tests/support/MainThreadFileLooks.h"

#include <QByteArray>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Watch {
    std::atomic<bool> on{false};
    pthread_t thread{};
    std::mutex mutex;
    std::string folder;
    int count = 0;
    std::vector<std::string> examples;
    int made = 0;
    std::vector<std::string> madeExamples;
};

Watch &watching()
{
    static Watch watch;
    return watch;
}

void note(const char *call, const char *path)
{
    Watch &watch = watching();
    if (!watch.on.load(std::memory_order_relaxed) || !path || !pthread_equal(pthread_self(), watch.thread))
        return;
    const std::lock_guard lock(watch.mutex);
    if (std::strncmp(path, watch.folder.c_str(), watch.folder.size()) != 0)
        return;
    ++watch.count;
    if (watch.examples.size() < 8)
        watch.examples.push_back(std::string(call) + ' ' + path);
}

// The path a call names: relative ones against the open folder `directory` they are given with.
std::string resolved(int directory, const char *path)
{
    if (path[0] == '/' || directory == AT_FDCWD)
        return path;
    char folder[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(directory);
    const ssize_t length = ::readlink(link.c_str(), folder, sizeof folder);
    return length > 0 ? std::string(folder, size_t(length)) + '/' + path : std::string(path);
}

void noteMade(const char *call, int directory, const char *path)
{
    Watch &watch = watching();
    if (!watch.on.load(std::memory_order_relaxed) || !path || !pthread_equal(pthread_self(), watch.thread))
        return;
    const std::string full = resolved(directory, path);
    const std::lock_guard lock(watch.mutex);
    if (full.compare(0, watch.folder.size(), watch.folder) != 0)
        return;
    ++watch.made;
    if (watch.madeExamples.size() < 8)
        watch.madeExamples.push_back(std::string(call) + ' ' + full);
}

} // namespace

// The C library's entries that look a file up by name, each noted and passed on to the next
// definition (the C library's, or a sanitizer's in front of it).
#define KESTROWAN_NOTED(Name, Parameters, Arguments)                                                  \
    int Name Parameters                                                                                \
    {                                                                                                  \
        note(#Name, path);                                                                             \
        static const auto real = reinterpret_cast<int(*) Parameters>(dlsym(RTLD_NEXT, #Name));         \
        return real Arguments;                                                                         \
    }

// The opening calls take a mode only when they may create the file (O_TMPFILE holds O_DIRECTORY's
// bit: a folder opened is no file made).
#define KESTROWAN_NOTED_OPEN(Name, Parameters, Arguments)                                             \
    int Name Parameters                                                                                \
    {                                                                                                  \
        note(#Name, path);                                                                             \
        mode_t mode = 0;                                                                               \
        if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {                                   \
            noteMade(#Name, KESTROWAN_FOLDER_OF_##Name, path);                                         \
            va_list rest;                                                                              \
            va_start(rest, flags);                                                                     \
            mode = va_arg(rest, mode_t);                                                               \
            va_end(rest);                                                                              \
        }                                                                                              \
        static const auto real = reinterpret_cast<int(*) Parameters>(dlsym(RTLD_NEXT, #Name));         \
        return real Arguments;                                                                         \
    }

// The opening calls' folders, for the paths of the files they create.
#define KESTROWAN_FOLDER_OF_open AT_FDCWD
#define KESTROWAN_FOLDER_OF_open64 AT_FDCWD
#define KESTROWAN_FOLDER_OF_openat directory
#define KESTROWAN_FOLDER_OF_openat64 directory

// The C library's entries that make an entry by name, each noted and passed on.
#define KESTROWAN_MADE(Name, Parameters, Arguments, Directory)                                        \
    int Name Parameters                                                                                \
    {                                                                                                  \
        noteMade(#Name, Directory, path);                                                              \
        static const auto real = reinterpret_cast<int(*) Parameters>(dlsym(RTLD_NEXT, #Name));         \
        return real Arguments;                                                                         \
    }

extern "C" {
KESTROWAN_MADE(symlink, (const char *target, const char *path), (target, path), AT_FDCWD)
KESTROWAN_MADE(symlinkat, (const char *target, int directory, const char *path), (target, directory, path), directory)
KESTROWAN_MADE(mkdir, (const char *path, mode_t mode), (path, mode), AT_FDCWD)
KESTROWAN_MADE(mkdirat, (int directory, const char *path, mode_t mode), (directory, path, mode), directory)
KESTROWAN_MADE(rename, (const char *from, const char *path), (from, path), AT_FDCWD)
KESTROWAN_MADE(renameat, (int fromDirectory, const char *from, int directory, const char *path),
               (fromDirectory, from, directory, path), directory)
KESTROWAN_MADE(renameat2, (int fromDirectory, const char *from, int directory, const char *path, unsigned int flags),
               (fromDirectory, from, directory, path, flags), directory)
KESTROWAN_MADE(linkat, (int fromDirectory, const char *from, int directory, const char *path, int flags),
               (fromDirectory, from, directory, path, flags), directory)
KESTROWAN_NOTED(stat, (const char *path, struct stat *buffer), (path, buffer))
KESTROWAN_NOTED(lstat, (const char *path, struct stat *buffer), (path, buffer))
KESTROWAN_NOTED(stat64, (const char *path, struct stat64 *buffer), (path, buffer))
KESTROWAN_NOTED(lstat64, (const char *path, struct stat64 *buffer), (path, buffer))
KESTROWAN_NOTED(fstatat, (int directory, const char *path, struct stat *buffer, int flags), (directory, path, buffer, flags))
KESTROWAN_NOTED(fstatat64, (int directory, const char *path, struct stat64 *buffer, int flags), (directory, path, buffer, flags))
KESTROWAN_NOTED(statx, (int directory, const char *path, int flags, unsigned int mask, struct statx *buffer),
                (directory, path, flags, mask, buffer))
KESTROWAN_NOTED(access, (const char *path, int mode), (path, mode))
KESTROWAN_NOTED(faccessat, (int directory, const char *path, int mode, int flags), (directory, path, mode, flags))
KESTROWAN_NOTED_OPEN(open, (const char *path, int flags, ...), (path, flags, mode))
KESTROWAN_NOTED_OPEN(open64, (const char *path, int flags, ...), (path, flags, mode))
KESTROWAN_NOTED_OPEN(openat, (int directory, const char *path, int flags, ...), (directory, path, flags, mode))
KESTROWAN_NOTED_OPEN(openat64, (int directory, const char *path, int flags, ...), (directory, path, flags, mode))
} // extern "C"

namespace MainThreadFileLooks {

void watch(const QString &folder)
{
    Watch &watch = watching();
    const std::lock_guard lock(watch.mutex);
    watch.folder = folder.toStdString();
    watch.thread = pthread_self();
    watch.count = 0;
    watch.examples.clear();
    watch.made = 0;
    watch.madeExamples.clear();
    watch.on.store(true);
}

void stop()
{
    watching().on.store(false);
}

} // namespace MainThreadFileLooks

namespace {

// What `field` of the watch holds, read under its lock.
template<typename Field>
auto counted(Field Watch::*field)
{
    Watch &watch = watching();
    const std::lock_guard lock(watch.mutex);
    return watch.*field;
}

QStringList listed(const std::vector<std::string> &paths)
{
    QStringList list;
    for (const std::string &path : paths)
        list.append(QString::fromStdString(path));
    return list;
}

} // namespace

namespace MainThreadFileLooks {

int count()
{
    return counted(&Watch::count);
}

QStringList examples()
{
    return listed(counted(&Watch::examples));
}

QString report(const QString &when)
{
    return QStringLiteral("%1: %2 look-ups on the main thread, such as %3").arg(when).arg(count()).arg(examples().join(QStringLiteral(", ")));
}

int made()
{
    return counted(&Watch::made);
}

QStringList madeExamples()
{
    return listed(counted(&Watch::madeExamples));
}

} // namespace MainThreadFileLooks
