#include "Platform/linux/HelperIconDecoder.h"

#include <QProcess>
#include <QTimer>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

struct HelperIconDecoder::Run {
    QProcess *process = nullptr;
    QTimer *deadline = nullptr;
    IconTransfer::Reader reader;
    QList<Request> batch;
    QString failure;
    qint64 group = 0;
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
    m_waiting += requests;
    startWaiting();
}

void HelperIconDecoder::cancelAll()
{
    m_waiting.clear();
    for (Run *run : std::exchange(m_running, {}))
        release(run, true);
}

void HelperIconDecoder::release(Run *run, bool now)
{
    run->process->disconnect(this);
    run->deadline->stop();
    // A helper that crashed may leave children of its own behind; one cancelled is killed.
    killGroup(*run);
    if (now) {
        // Killed, it ends at once; the wait only collects it, so no zombie outlives the decoder.
        run->process->waitForFinished(1000);
        delete run->process;
        delete run->deadline;
    } else {
        // Its signal may be what calls.
        run->process->deleteLater();
        run->deadline->deleteLater();
    }
    delete run;
}

void HelperIconDecoder::startWaiting()
{
    while (m_running.size() < m_parallel && !m_waiting.isEmpty())
        start();
}

void HelperIconDecoder::killGroup(const Run &run)
{
    if (run.group > 0)
        ::kill(-pid_t(run.group), SIGKILL);
}

void HelperIconDecoder::start()
{
    auto *run = new Run;
    run->process = new QProcess;
    run->deadline = new QTimer;
    run->batch = m_waiting.mid(0, m_batch);
    m_waiting.remove(0, run->batch.size());
    m_running.append(run);
    ++m_started;
    QProcess *process = run->process;
    process->setProgram(m_helper);
    process->setArguments({QStringLiteral("--icons")});
    process->setStandardErrorFile(QProcess::nullDevice());
    // A group of its own, so that what the helper starts in turn ends with it.
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(process, &QProcess::readyReadStandardOutput, this, [this, run] { answered(run); });
    connect(process, &QProcess::finished, this, [this, run] { finish(run); });
    connect(process, &QProcess::errorOccurred, this, [this, run](QProcess::ProcessError error) {
        // Reported through the event loop: a start that fails at once must not start the next
        // batch from inside this one, and that one the next, for every batch waiting.
        if (error == QProcess::FailedToStart)
            QMetaObject::invokeMethod(this, [this, run] { finish(run); }, Qt::QueuedConnection);
    });
    run->deadline->setSingleShot(true);
    connect(run->deadline, &QTimer::timeout, this, [this, run] {
        run->failure = QStringLiteral("the helper did not finish within %1 ms").arg(m_timeoutMs);
        killGroup(*run);
    });
    process->start();
    if (process->state() == QProcess::NotRunning)
        return;
    // The group exists once the child has run its modifier, which is before it reports started.
    run->group = process->processId();
    QByteArray requests;
    for (const Request &request : std::as_const(run->batch))
        requests += IconTransfer::encodeRequest(request);
    process->write(requests);
    process->closeWriteChannel();
    run->deadline->start(m_timeoutMs);
}

void HelperIconDecoder::answered(Run *run)
{
    run->reader.append(run->process->readAllStandardOutput());
    while (!run->batch.isEmpty()) {
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
    const bool tooLong = !run->batch.isEmpty() && run->reader.pendingBytes() > largestAnswer(run->batch.first());
    if (run->reader.broken() || tooLong || (run->batch.isEmpty() && run->reader.pendingBytes() > 0)) {
        run->failure = QStringLiteral("the helper's answer is not a picture");
        killGroup(*run);
    }
}

void HelperIconDecoder::finish(Run *run)
{
    if (!m_running.removeOne(run))
        return;
    const bool started = run->group > 0;
    if (started)
        answered(run);
    QList<Request> unanswered = run->batch;
    QString failure = run->failure;
    if (failure.isEmpty()) {
        if (!started)
            failure = QStringLiteral("the helper did not start");
        else if (run->process->exitStatus() != QProcess::NormalExit)
            failure = QStringLiteral("the helper ended at its limits");
        else
            failure = QStringLiteral("the helper ended before it answered");
    }
    release(run, false);
    if (!started) {
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
