#pragma once

#include <QtGlobal>

// SIGSTOP reaches a process through one of its threads: the others go on running (and answering
// on their sockets) until that thread has been scheduled and stopped the whole group, which on a
// loaded machine can take a while. A test that needs the process silent waits for every thread.
namespace StoppedProcess {

// Sends SIGSTOP and returns once every thread of the process is stopped; false when the signal
// could not be sent or the process did not stop within the deadline.
bool stop(qint64 pid, int timeoutMilliseconds = 30000);

// True when every thread of the process is stopped (by a signal or under a tracer).
bool isStopped(qint64 pid);

} // namespace StoppedProcess
