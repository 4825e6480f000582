#pragma once

#include "Platform/IconDecoder.h"

#include <QList>

// Decodes icons in the icon helper program, a batch of files to a process and a few processes
// at a time: a window of hundreds of applications costs a handful of processes, not hundreds. Each
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
    // A start costs as much processor time as drawing ten icons; a batch this long stays far inside
    // the helper's processor limit even in a checked build, and its answers still come one by one.
    static constexpr int defaultBatch = 128;

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
