#pragma once

#include "Platform/IconDecoder.h"

#include <QList>

// Decodes icons in the icon helper program, a few processes at a time, each handed the files asked
// for while it runs up to a batch of them: a window of hundreds of applications costs a handful of
// processes, not hundreds, and files asked for a turn after others go to the helper already on
// them. A helper left with nothing to do has its input ended after a moment and goes. Each
// process is a bounded child (a process group of its own under the helper's limits, dying with the
// program) and is killed whole when an answer is later than the deadline (counted afresh for each
// file), when an answer grows beyond what was asked for, when cancelAll() comes or when the
// decoder goes. A process that ends before it has answered every file costs the file it was on;
// the files after it are asked for again in another process.
class HelperIconDecoder final : public IconDecoder {
    Q_OBJECT
public:
    static constexpr int defaultTimeoutMs = 10000;
    static constexpr int defaultParallel = 2;
    // A start costs as much processor time as drawing a dozen icons: a Sync All of hundreds of
    // applications is drawn by two helpers, not seven. A batch this long stays well inside the
    // helper's processor limit even in a checked build.
    static constexpr int defaultBatch = 512;

    explicit HelperIconDecoder(const QString &helperProgram, int timeoutMs = defaultTimeoutMs,
                               int parallel = defaultParallel, int batch = defaultBatch);
    ~HelperIconDecoder() override;

    void decode(const QList<Request> &requests) override;
    void cancelAll() override;

    // Helper processes running now, and started since the decoder was made (tests, benchmarks).
    int runningCount() const { return int(m_running.size()); }
    int startedCount() const { return m_started; }

private:
    struct Run;
    void startWaiting();
    bool start();
    // Hands `run` the first file that waits; false when it does not take it.
    bool hand(Run *run);
    void release(Run *run);
    static constexpr int kIdleMs = 250;
    // Files a helper has yet to answer before the next is started beside it.
    static constexpr int kHandsFull = 8;
    // Takes the answers the helper has written, at most `atMost` of them now and the rest on later
    // turns of the event loop; all of them without a bound.
    void answered(Run *run);
    void answered(Run *run, int atMost);
    static constexpr int kAnswersPerTurn = 8;
    void finish(Run *run);
    void reportFailures();

    QString m_helper;
    int m_timeoutMs;
    int m_parallel;
    int m_batch;
    int m_started = 0;
    bool m_reportQueued = false;
    QList<Request> m_waiting;
    QList<Request> m_failed;
    QString m_failure;
    QList<Run *> m_running;
};
