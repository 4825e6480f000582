#pragma once

#include "Platform/DiskFlush.h"
#include "Platform/MainThread.h"

#include <QList>
#include <QStringList>

// Counts flushes and answers each with `failure` from the event loop, touching no disk; while
// `holds` is set, a flush waits for `finishHeld`, as a busy disk keeps one waiting.
class FakeDiskFlush final : public DiskFlush {
public:
    std::optional<QString> failure;
    bool holds = false;
    QStringList folders;
    QList<Completion> held;

    void flush(const QString &folder, Completion completion) override
    {
        folders.append(folder);
        if (holds) {
            held.append(std::move(completion));
            return;
        }
        postToMainThread([completion = std::move(completion), failure = failure] {
            if (completion)
                completion(failure);
        });
    }

    void finishHeld()
    {
        holds = false;
        for (Completion &completion : std::exchange(held, {}))
            flush(folders.last(), std::move(completion));
    }
};
