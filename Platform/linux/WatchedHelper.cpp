#include "Platform/linux/WatchedHelper.h"

#include <QSocketNotifier>
#include <QTimer>

void WatchedHelper::release(WatchedHelper *run)
{
    // The notifiers may be the ones calling: they go from the event loop, but are off before the
    // descriptors they watch are closed, and the pipes close now.
    for (QSocketNotifier *notifier : {run->ended, run->output}) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    delete run->deadline;
    run->child.collect();
    delete run;
}
