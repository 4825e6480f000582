#include "Tallyline/MainQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

void dispatchToMain(std::function<void()> work)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application) {
        work();
        return;
    }
    QMetaObject::invokeMethod(application, std::move(work), Qt::QueuedConnection);
}

void dispatchToMainAfter(std::chrono::milliseconds delay, std::function<void()> work)
{
    dispatchToMain([delay, work = std::move(work)]() mutable {
        if (QCoreApplication *application = QCoreApplication::instance())
            QTimer::singleShot(delay, application, std::move(work));
    });
}
