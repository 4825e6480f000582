#pragma once

#include "Platform/DockRestarter.h"

#include <QDeadlineTimer>
#include <QList>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>

class DockSocketLink;

// Restarts the stand-in Dock that serves this session's Dock socket: asks it for its process
// identifier, ends that process, and waits until a Dock with another identifier answers (its keeper
// starts it again). Nothing machine-wide is run, and nothing here waits for the Dock: every question
// is answered through the event loop.
class DockSocketRestarter final : public DockRestarter {
public:
    ~DockSocketRestarter() override;

    void restart(Completion completion) override;

private:
    // The poll timer belongs to the application, so that it goes with it rather than with this
    // process-wide object after it.
    QTimer *poller();
    DockSocketLink *probe();
    // Asks which Dock answers on this session's socket now, without waiting; `answer` gets its process
    // identifier from the event loop, nullopt when none answers in time. A newer question drops the
    // answer to an older one.
    void askForDock(int timeoutMilliseconds, std::function<void(std::optional<qint64>)> answer);
    void begin();
    void ended(std::optional<qint64> dock);
    void poll();
    void finish(bool restarted);

    QList<Completion> m_running;
    QList<Completion> m_waiting;
    bool m_underWay = false;
    qint64 m_previous = 0;
    QDeadlineTimer m_deadline;
    QPointer<QTimer> m_poll;
    QPointer<DockSocketLink> m_probe;
    quint64 m_question = 0;
    bool m_asking = false;
};
