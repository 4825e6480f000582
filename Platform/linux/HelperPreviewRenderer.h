#pragma once

#include "Platform/PreviewRenderer.h"

#include <QList>
#include <QPair>

class QProcess;
class QTimer;

// Decodes previews in the thumbnail helper program, a few at a time: each render is one helper
// process in a process group of its own, which limits its own address space and processor time
// and is killed whole (with anything it started) when the deadline passes, when its answer grows
// beyond the largest picture, when cancelAll() comes or when the renderer goes. The helper's
// answer is a picture as pixels; nothing else of the document reaches the program.
class HelperPreviewRenderer final : public PreviewRenderer {
    Q_OBJECT
public:
    static constexpr int defaultTimeoutMs = 10000;
    static constexpr int defaultParallel = 3;

    explicit HelperPreviewRenderer(const QString &helperProgram, int timeoutMs = defaultTimeoutMs,
                                   int parallel = defaultParallel);
    ~HelperPreviewRenderer() override;

    void render(Kind kind, const QString &path) override;
    void cancelAll() override;

    // Renders running now (tests).
    int runningCount() const { return int(m_running.size()); }

private:
    struct Run {
        QString path;
        QProcess *process = nullptr;
        QTimer *deadline = nullptr;
        QByteArray answer;
        QString failure;
        qint64 group = 0;
    };
    void startWaiting();
    void start(Kind kind, const QString &path);
    void finish(Run *run);
    static void killGroup(const Run &run);

    QString m_helper;
    int m_timeoutMs;
    int m_parallel;
    QList<QPair<Kind, QString>> m_waiting;
    QList<Run *> m_running;
};
