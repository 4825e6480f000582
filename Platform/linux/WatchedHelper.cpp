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

QString WatchedHelper::failureOfEnd(const std::optional<BoundedChild::Exit> &exit, bool &transient)
{
    if (!exit) {
        transient = true;
        return QStringLiteral("the helper could not be collected");
    }
    if (!exit->exited)
        return QStringLiteral("the helper ended at its limits");
    if (exit->code == 127) {
        transient = true;
        return QStringLiteral("the helper did not start");
    }
    return {};
}
