#pragma once

#include "Platform/DockRestarter.h"

#include <QDeadlineTimer>
#include <QList>
#include <QPointer>
#include <QTimer>

// Restarts the stand-in Dock that serves this session's Dock socket: asks it for its process
// identifier, ends that process, and waits until a Dock with another identifier answers (its keeper
// starts it again). Nothing machine-wide is run.
class DockSocketRestarter final : public DockRestarter {
public:
    ~DockSocketRestarter() override;

    void restart(Completion completion) override;

private:
    // The poll timer belongs to the application, so that it goes with it rather than with this
    // process-wide object after it.
    QTimer *poller();
    void begin();
    void poll();
    void finish(bool restarted);

    QList<Completion> m_running;
    QList<Completion> m_waiting;
    bool m_underWay = false;
    qint64 m_previous = 0;
    QDeadlineTimer m_deadline;
    QPointer<QTimer> m_poll;
};
