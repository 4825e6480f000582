#include "Platform/MainThread.h"

#include <QCoreApplication>

void postToMainThread(std::function<void()> work)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}
