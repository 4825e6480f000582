#include "Platform/ApplicationInstance.h"

#include <QCoreApplication>
#include <QThread>

namespace ApplicationOwnership {

bool onApplicationThread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

bool adopt(QObject *service, std::function<void()> whenQuitting)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return false;
    service->setParent(application);
    QObject::connect(application, &QCoreApplication::aboutToQuit, service, std::move(whenQuitting));
    return true;
}

} // namespace ApplicationOwnership
