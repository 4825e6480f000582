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

// The opening calls take a mode only when they may create the file.
#define KESTROWAN_NOTED_OPEN(Name, Parameters, Arguments)                                             \
    int Name Parameters                                                                                \
    {                                                                                                  \
        note(#Name, path);                                                                             \
        mode_t mode = 0;                                                                               \
        if (flags & (O_CREAT | O_TMPFILE)) {                                                           \
            va_list rest;                                                                              \
            va_start(rest, flags);                                                                     \
            mode = va_arg(rest, mode_t);                                                               \
            va_end(rest);                                                                              \
        }                                                                                              \
        static const auto real = reinterpret_cast<int(*) Parameters>(dlsym(RTLD_NEXT, #Name));         \
        return real Arguments;                                                                         \
    }

extern "C" {
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
    watch.on.store(true);
}

void stop()
{
    watching().on.store(false);
}

int count()
{
    Watch &watch = watching();
    const std::lock_guard lock(watch.mutex);
    return watch.count;
}

QStringList examples()
{
    Watch &watch = watching();
    const std::lock_guard lock(watch.mutex);
    QStringList list;
    for (const std::string &example : watch.examples)
        list.append(QString::fromStdString(example));
    return list;
}

} // namespace MainThreadFileLooks
