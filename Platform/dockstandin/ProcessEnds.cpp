#include "Platform/dockstandin/ProcessEnds.h"

#include <QSocketNotifier>

#include <sys/syscall.h>
#include <unistd.h>

ProcessEnds::~ProcessEnds()
{
    for (QSocketNotifier *notifier : std::as_const(m_watched)) {
        const int descriptor = int(notifier->socket());
        delete notifier;
        ::close(descriptor);
    }
}

void ProcessEnds::watch(const TapClientsFile::Client &process)
{
    if (process.processIdentifier <= 0 || m_watched.contains(process.processIdentifier))
        return;
    const qint64 identifier = process.processIdentifier;
    const int descriptor = int(::syscall(SYS_pidfd_open, pid_t(identifier), 0));
    // Looked at once the descriptor holds the process: one that ended before, or another that took
    // its identifier since, is an end already. Where the kernel gives no such descriptor, the
    // waits run out as they would.
    const bool runs = TapClientsFile::stillRuns(process);
    if (descriptor < 0 || !runs) {
        if (descriptor >= 0)
            ::close(descriptor);
        if (!runs)
            QMetaObject::invokeMethod(this, [this, identifier] { emit ended(identifier); }, Qt::QueuedConnection);
        return;
    }
    auto *notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, identifier] { end(identifier); });
    m_watched.insert(identifier, notifier);
}

void ProcessEnds::end(qint64 processIdentifier)
{
    QSocketNotifier *notifier = m_watched.take(processIdentifier);
    if (!notifier)
        return;
    const int descriptor = int(notifier->socket());
    notifier->setEnabled(false);
    notifier->deleteLater();
    ::close(descriptor);
    emit ended(processIdentifier);
}
