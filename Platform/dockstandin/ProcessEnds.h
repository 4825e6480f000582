#pragma once

#include "Platform/dockstandin/TapClientsFile.h"

#include <QHash>
#include <QObject>

class QSocketNotifier;

// Tells the moment a watched process ends, through a descriptor the kernel makes readable then: a
// program whose taps the bar's events wait for is let go of at once when it ends, not when the wait
// runs out. Lives on the thread that watches.
class ProcessEnds : public QObject {
    Q_OBJECT
public:
    ProcessEnds() = default;
    ~ProcessEnds() override;

    // Watches that very process (not another given its identifier since); one that has already
    // ended is told of from the event loop. Watching one twice watches it once.
    void watch(const TapClientsFile::Client &process);

signals:
    void ended(qint64 processIdentifier);

private:
    void end(qint64 processIdentifier);

    QHash<qint64, QSocketNotifier *> m_watched;
};
