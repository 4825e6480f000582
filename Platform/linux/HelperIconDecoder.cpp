#include "Platform/linux/HelperIconDecoder.h"

#include "Platform/linux/WatchedHelper.h"

#include <QSocketNotifier>
#include <QTimer>

#include <limits>

struct HelperIconDecoder::Run : WatchedHelper {
    QByteArray read;
    IconTransfer::Reader reader;
    // Handed to the helper and not answered yet, in the order asked.
    QList<Request> batch;
    int handed = 0;
    // Ends the helper's input once it has had nothing to do for a while.
    QTimer *idle = nullptr;
    QString failure;
};

namespace {

// The most bytes an answer for `request` can take: a picture of each side asked for, whole.
qint64 largestAnswer(const IconDecoder::Request &request)
{
    qint64 bytes = 8;
    for (const int side : request.sides)
        bytes += 8 + qint64(side) * side * 4;
    return bytes;
}

} // namespace

HelperIconDecoder::HelperIconDecoder(const QString &helperProgram, int timeoutMs, int parallel, int batch)
    : m_helper(helperProgram), m_timeoutMs(timeoutMs), m_parallel(std::max(1, parallel)), m_batch(std::max(1, batch))
{
}

HelperIconDecoder::~HelperIconDecoder()
{
    cancelAll();
}

void HelperIconDecoder::decode(const QList<Request> &requests)
{
    for (const Request &request : requests) {
        if (IconTransfer::requestRecord(request).size() <= BoundedChild::inputPieceBytes) {
            m_waiting.append(request);
            continue;
        }
        // No file system has a path this long; the helper is never asked.
        QMetaObject::invokeMethod(this, [this, request] {
            emit decoded(request, {}, QStringLiteral("the path is too long"), false);
        }, Qt::QueuedConnection);
    }
    startWaiting();
}

void HelperIconDecoder::cancelAll()
{
    m_waiting.clear();
    m_failed.clear();
    for (Run *run : std::exchange(m_running, {})) {
        // Killed, it ends at once; collecting it here leaves no zombie behind the decoder.
        run->child.kill();
        release(run);
    }
}

void HelperIconDecoder::release(Run *run)
{
    delete run->idle;
    WatchedHelper::release(run);
}

void HelperIconDecoder::startWaiting()
{
    while (!m_waiting.isEmpty()) {
        // Helpers still reading take what waits, the one with least to do first: a process costs as
        // much as drawing a dozen icons. Another starts only when those running have their hands
        // full, so that the files are drawn side by side.
        Run *least = nullptr;
        for (Run *run : std::as_const(m_running)) {
            if (run->child.hasInput() && run->handed < m_batch && (!least || run->batch.size() < least->batch.size()))
                least = run;
        }
        if ((!least || least->batch.size() >= kHandsFull) && m_running.size() < m_parallel) {
            // A start that fails takes no place among the running ones: the loop goes on with the next.
            start();
            continue;
        }
        if (!least)
            return;
        if (!hand(least)) {
            // It does not take more now; it answers what it has and goes.
            least->child.closeInput();
        }
    }
}

bool HelperIconDecoder::hand(Run *run)
{
    if (!run->child.writeInput(IconTransfer::requestRecord(m_waiting.constFirst())))
        return false;
    run->batch.append(m_waiting.takeFirst());
    run->idle->stop();
    // Each file has the whole deadline of its own, counted from when the helper can be on it.
    if (run->batch.size() == 1)
        run->deadline->start(m_timeoutMs);
    // A helper that has had its share reads to the end of its input and goes once it has answered.
    if (++run->handed >= m_batch)
        run->child.closeInput();
    return true;
}

bool HelperIconDecoder::start()
{
    auto run = std::make_unique<Run>();
    if (m_helper.isEmpty() || !run->child.start(QStringList{m_helper, QStringLiteral("--icons")}, true,
                                                BoundedChild::Mode::OwnLimits, true)) {
        // Reported through the event loop: nothing is known of the files, which may be asked for
        // again later, and a start that fails at once must not start the next from inside this one.
        m_failure = m_helper.isEmpty() ? QStringLiteral("there is no icon helper")
                                       : QStringLiteral("the helper did not start: %1").arg(run->child.errorString());
        m_failed += m_waiting.mid(0, m_batch);
        m_waiting.remove(0, std::min<qsizetype>(m_batch, m_waiting.size()));
        if (!std::exchange(m_reportQueued, true))
            QMetaObject::invokeMethod(this, &HelperIconDecoder::reportFailures, Qt::QueuedConnection);
        return false;
    }
    ++m_started;
    Run *started = run.release();
    m_running.append(started);
    started->ended = new QSocketNotifier(started->child.endedDescriptor(), QSocketNotifier::Read);
    connect(started->ended, &QSocketNotifier::activated, this, [this, started] { finish(started); });
    started->output = new QSocketNotifier(started->child.outputDescriptor(), QSocketNotifier::Read);
    connect(started->output, &QSocketNotifier::activated, this, [this, started] { answered(started, kAnswersPerTurn); });
    started->deadline = new QTimer;
    started->deadline->setSingleShot(true);
    connect(started->deadline, &QTimer::timeout, this, [this, started] {
        started->failure = QStringLiteral("the helper did not finish within %1 ms").arg(m_timeoutMs);
        started->child.kill();
    });
    started->idle = new QTimer;
    started->idle->setSingleShot(true);
    connect(started->idle, &QTimer::timeout, this, [started] { started->child.closeInput(); });
    if (!hand(started)) {
        // Not one request went in: the helper is of no use, and the file it could not take is
        // reported rather than handed to helper after helper.
        started->child.closeInput();
        started->child.kill();
        m_failure = QStringLiteral("the helper could not be handed the file");
        m_failed.append(m_waiting.takeFirst());
        if (!std::exchange(m_reportQueued, true))
            QMetaObject::invokeMethod(this, &HelperIconDecoder::reportFailures, Qt::QueuedConnection);
    }
    return true;
}

void HelperIconDecoder::answered(Run *run)
{
    answered(run, std::numeric_limits<int>::max());
}

void HelperIconDecoder::answered(Run *run, int atMost)
{
    // No more is read than the answers still due can take.
    qint64 due = 0;
    for (const Request &request : std::as_const(run->batch))
        due += largestAnswer(request);
    const BoundedChild::Output read = run->child.readOutput(run->read, qsizetype(std::max<qint64>(1, due - run->reader.pendingBytes())));
    run->reader.append(std::exchange(run->read, {}));
    int taken = 0;
    while (!run->batch.isEmpty()) {
        // A batch's answers often come together, megabytes of pixels: a few are taken a turn of the
        // event loop, so that the window is drawn between them.
        if (taken++ == atMost) {
            QMetaObject::invokeMethod(this, [this, run] {
                if (m_running.contains(run))
                    answered(run, kAnswersPerTurn);
            }, Qt::QueuedConnection);
            break;
        }
        const std::optional<QList<QImage>> pictures = run->reader.takeAnswer();
        if (!pictures)
            break;
        const Request request = run->batch.takeFirst();
        // Each file has the whole deadline of its own.
        run->deadline->start(m_timeoutMs);
        const bool complete = pictures->size() == request.sides.size();
        emit decoded(request, complete ? *pictures : QList<QImage>(), complete ? QString() : QStringLiteral("the file gave no picture"),
                     false);
    }
    if (run->batch.isEmpty() && taken > 0) {
        // Nothing is outstanding: no file runs against the deadline, and the helper waits a moment
        // for the files the next turns ask for before its input ends.
        run->deadline->stop();
        if (run->child.hasInput())
            run->idle->start(kIdleMs);
    }
    // More than every answer still due could take, bytes that are no answer, or bytes after the last.
    if (read == BoundedChild::Output::TooLarge || run->reader.broken() || (run->batch.isEmpty() && run->reader.pendingBytes() > 0)) {
        run->failure = QStringLiteral("the helper's answer is not a picture");
        run->child.kill();
    }
    if (read != BoundedChild::Output::More)
        run->output->setEnabled(false);
}

void HelperIconDecoder::reportFailures()
{
    m_reportQueued = false;
    const QList<Request> failed = std::exchange(m_failed, {});
    for (const Request &request : failed)
        emit decoded(request, {}, m_failure, true);
}

void HelperIconDecoder::finish(Run *run)
{
    if (!m_running.removeOne(run))
        return;
    run->ended->setEnabled(false);
    if (run->failure.isEmpty())
        answered(run);
    const std::optional<BoundedChild::Exit> exit = run->child.collect();
    QList<Request> unanswered = run->batch;
    QString failure = run->failure;
    bool transient = false;
    if (failure.isEmpty())
        failure = WatchedHelper::failureOfEnd(exit, transient);
    if (failure.isEmpty())
        failure = QStringLiteral("the helper ended before it answered");
    release(run);
    if (transient) {
        // Nothing of the files is known; they may be asked for again.
        for (const Request &request : std::as_const(unanswered))
            emit decoded(request, {}, failure, true);
    } else if (!unanswered.isEmpty()) {
        // The file the helper was on is the one that ended it; those after it go to another helper.
        const Request culprit = unanswered.takeFirst();
        m_waiting = unanswered + m_waiting;
        emit decoded(culprit, {}, failure, false);
    }
    startWaiting();
}
