#include "Platform/thumbnailhelper/PdfPageDrawing.h"

#include "Platform/BoundedFile.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfDocument>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <mutex>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr qreal kLongSide = 256;
constexpr qint64 kMaximumFileBytes = 256 * 1024 * 1024;
// How often the waiting thread looks at the drawing's processor time and the process's memory.
constexpr auto kCheckInterval = std::chrono::milliseconds(20);
constexpr int kNoPictureStatus = 1;

std::optional<QImage> drawFirstPage(const QString &path)
{
    // Regular files only, read first: a fifo named like a document would block the reader.
    std::optional<QByteArray> bytes = readSmallFile(path, kMaximumFileBytes);
    if (!bytes)
        return std::nullopt;
    QBuffer buffer(&*bytes);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.load(&buffer);
    if (document.status() != QPdfDocument::Status::Ready || document.pageCount() < 1)
        return std::nullopt;
    const QSizeF box = document.pagePointSize(0);
    // A page without area (or with a nonsensical one) has nothing to show and no scale to draw it at.
    if (!std::isfinite(box.width()) || !std::isfinite(box.height()) || box.width() <= 0 || box.height() <= 0)
        return std::nullopt;
    const qreal k = kLongSide / std::max(box.width(), box.height());
    const QSize pixels(std::max(1, int(std::lround(box.width() * k))), std::max(1, int(std::lround(box.height() * k))));
    const QImage page = document.render(0, pixels);
    if (page.isNull())
        return std::nullopt;
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.drawImage(QRect(QPoint(0, 0), pixels), page);
    }
    return image;
}

struct Drawing {
    QString path;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::optional<QImage> page;
};

void *drawOnThread(void *argument)
{
    auto *drawing = static_cast<Drawing *>(argument);
    std::optional<QImage> page = drawFirstPage(drawing->path);
    const std::lock_guard lock(drawing->mutex);
    drawing->page = std::move(page);
    drawing->finished = true;
    drawing->done.notify_all();
    return nullptr;
}

struct MemoryUse {
    qint64 mapped = 0;
    qint64 resident = 0;
};

MemoryUse memoryNow()
{
    FILE *statm = std::fopen("/proc/self/statm", "re");
    if (!statm)
        return {};
    long long size = 0;
    long long resident = 0;
    const int read = std::fscanf(statm, "%lld %lld", &size, &resident);
    std::fclose(statm);
    const long page = ::sysconf(_SC_PAGESIZE);
    return read == 2 ? MemoryUse{size * page, resident * page} : MemoryUse{};
}

// The address space the drawing may grow to: the helper's limit less a margin for the steps it
// takes between two looks, so that an allocation never fails (and ends the process) first.
qint64 mappedBound()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<qint64>::max();
    return qint64(limit.rlim_cur) - PdfPageDrawing::addressSpaceMargin;
}

qint64 processorMillisecondsOf(clockid_t clock)
{
    timespec used{};
    if (::clock_gettime(clock, &used) != 0)
        return 0;
    return qint64(used.tv_sec) * 1000 + used.tv_nsec / 1000000;
}

} // namespace

std::optional<QImage> PdfPageDrawing::firstPage(const QString &path)
{
    // The drawing thread may outlive this call (see below): what it uses is never freed.
    auto *drawing = new Drawing;
    drawing->path = path;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes);
    pthread_t thread{};
    const int started = pthread_create(&thread, &attributes, drawOnThread, drawing);
    pthread_attr_destroy(&attributes);
    if (started != 0) {
        delete drawing;
        return std::nullopt;
    }
    clockid_t clock{};
    const bool timed = pthread_getcpuclockid(thread, &clock) == 0;
    const qint64 mappedLimit = mappedBound();
    std::unique_lock lock(drawing->mutex);
    while (!drawing->done.wait_for(lock, kCheckInterval, [drawing] { return drawing->finished; })) {
        const MemoryUse memory = memoryNow();
        if ((timed && processorMillisecondsOf(clock) > processorMilliseconds) || memory.resident > residentBytes
            || memory.mapped > mappedLimit) {
            // Nothing written, no destructor run beside a drawing that goes on.
            std::fflush(stdout);
            std::_Exit(kNoPictureStatus);
        }
    }
    lock.unlock();
    pthread_join(thread, nullptr);
    std::optional<QImage> page = std::move(drawing->page);
    delete drawing;
    return page;
}
