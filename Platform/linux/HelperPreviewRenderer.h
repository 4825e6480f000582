#pragma once

#include "Platform/PreviewRenderer.h"

#include <QList>
#include <QPair>

#include <memory>

class QSocketNotifier;
class QTimer;
class BoundedChild;

// Decodes previews in the thumbnail helper program, a few at a time: each render is one helper
// process (a BoundedChild: a process group of its own, the helper's limits, ended with the program)
// that is killed whole when the deadline passes, when its answer grows beyond the largest picture,
// when cancelAll() comes or when the renderer goes. The helper's answer is a picture as pixels;
// nothing else of the document reaches the program. A helper that cannot be started is reported
// from the event loop, and the next waiting render is tried in the same loop, never by recursion.
class HelperPreviewRenderer final : public PreviewRenderer {
    Q_OBJECT
public:
    static constexpr int defaultTimeoutMs = 10000;
    static constexpr int defaultParallel = 3;

    // Picture files go to `pictureHelper` and PDF files to `pageHelper` when there is one: lighter
    // helpers that draw them alike.
    explicit HelperPreviewRenderer(const QString &helperProgram, int timeoutMs = defaultTimeoutMs,
                                   int parallel = defaultParallel, const QString &pictureHelper = QString(),
                                   const QString &pageHelper = QString());
    ~HelperPreviewRenderer() override;

    void render(Kind kind, const QString &path) override;
    void cancelAll() override;

    // Renders running now (tests).
    int runningCount() const { return int(m_running.size()); }

private:
    struct Run;
    struct Answer {
        QString path;
        QString failure;
        bool transient = false;
    };
    // The lighter helper for `kind` when there is one, else the thumbnail helper.
    const QString &helperFor(Kind kind) const;
    void startWaiting();
    bool start(Kind kind, const QString &path);
    void finish(Run *run);
    void reportFailures();

    QString m_helper;
    QString m_pictureHelper;
    QString m_pageHelper;
    int m_timeoutMs;
    int m_parallel;
    QList<QPair<Kind, QString>> m_waiting;
    QList<Run *> m_running;
    // Renders that could not start, reported together from the event loop.
    QList<Answer> m_failed;
    bool m_reportQueued = false;
};
