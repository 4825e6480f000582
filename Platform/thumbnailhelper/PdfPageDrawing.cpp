#include "Platform/thumbnailhelper/PdfPageDrawing.h"

#include "Platform/BoundedFile.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfDocument>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <new>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr qreal kLongSide = 256;
constexpr qint64 kMaximumFileBytes = 256 * 1024 * 1024;
// How often the waiting thread looks at the drawing's processor time.
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

// Set on the drawing thread only: what fails there fails the page, anywhere else the process.
thread_local bool drawingThread = false;

// The signals a drawing that fails ends by: an allocation the address space limit refuses ends
// in an abort or a trap inside the reader, a page nested past the thread's stack in a fault.
constexpr int kFailureSignals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGILL, SIGTRAP, SIGFPE};
struct sigaction previousActions[std::size(kFailureSignals)];

void endWithoutPicture()
{
    // Nothing written, no destructor run beside a drawing that may go on.
    std::_Exit(kNoPictureStatus);
}

void failureSignal(int signal, siginfo_t *info, void *context)
{
    if (drawingThread)
        ::_exit(kNoPictureStatus);
    // Any other thread's fault is the process's own: handled as it was before.
    for (size_t i = 0; i < std::size(kFailureSignals); ++i) {
        if (kFailureSignals[i] != signal)
            continue;
        const struct sigaction &previous = previousActions[i];
        if (previous.sa_flags & SA_SIGINFO) {
            previous.sa_sigaction(signal, info, context);
        } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
        } else {
            // Back to the default, which the faulting instruction or abort's raise meets next.
            ::sigaction(signal, &previous, nullptr);
        }
        return;
    }
}

void handleAllocationFailure()
{
    if (drawingThread)
        endWithoutPicture();
    throw std::bad_alloc();
}

// A drawing that runs out of memory gives the same answer as one that runs out of time: "no
// picture". The address space limit refuses the same allocation of the same file every time;
// what the reader does then (a failed allocation ends in an abort, or in a fault) ends the helper
// with its status for a file without a picture instead of a crash the program would take for a
// failure of its own.
void answerFailuresAsNoPicture()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        std::set_new_handler(handleAllocationFailure);
        for (size_t i = 0; i < std::size(kFailureSignals); ++i) {
            struct sigaction action {};
            action.sa_sigaction = failureSignal;
            action.sa_flags = SA_SIGINFO | SA_ONSTACK;
            sigemptyset(&action.sa_mask);
            ::sigaction(kFailureSignals[i], &action, &previousActions[i]);
        }
    });
}

void *drawOnThread(void *argument)
{
    auto *drawing = static_cast<Drawing *>(argument);
    drawingThread = true;
    // A fault from a stack drawn to its end is handled on a stack of its own, which lives as long
    // as the drawing may; a thread that has one already (a checked build gives each) keeps it.
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
        stack_t alternate{};
        alternate.ss_size = std::max<size_t>(SIGSTKSZ, 64 * 1024);
        alternate.ss_sp = std::malloc(alternate.ss_size);
        if (alternate.ss_sp)
            ::sigaltstack(&alternate, nullptr);
    }
    std::optional<QImage> page = drawFirstPage(drawing->path);
    const std::lock_guard lock(drawing->mutex);
    drawing->page = std::move(page);
    drawing->finished = true;
    drawing->done.notify_all();
    return nullptr;
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
    answerFailuresAsNoPicture();
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
    std::unique_lock lock(drawing->mutex);
    // Only the drawing's own processor time is looked at, which the machine's load does not change;
    // its memory is bounded by the helper's address space limit, where the same allocation of the
    // same page fails every time, never by a look at a moment the load decides.
    while (!drawing->done.wait_for(lock, kCheckInterval, [drawing] { return drawing->finished; })) {
        if (timed && processorMillisecondsOf(clock) > processorMilliseconds)
            endWithoutPicture();
    }
    lock.unlock();
    pthread_join(thread, nullptr);
    std::optional<QImage> page = std::move(drawing->page);
    delete drawing;
    return page;
}
