#include "Kestrowan/shell/AfterRepaint.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

const QEvent::Type runType = static_cast<QEvent::Type>(QEvent::registerEventType());

// One posted piece of work; a child of its context, so that it goes with it, event and all.
class Runner : public QObject {
public:
    Runner(QObject *context, std::function<void()> work)
        : QObject(context)
        , m_work(std::move(work))
    {
    }

    bool event(QEvent *event) override
    {
        if (event->type() != runType)
            return QObject::event(event);
        // The work may end the context, and with it this runner: nothing of it is touched after.
        const std::function<void()> work = std::move(m_work);
        deleteLater();
        work();
        return true;
    }

private:
    std::function<void()> m_work;
};

} // namespace

void AfterRepaint::post(QObject *context, std::function<void()> work)
{
    auto *runner = new Runner(context, std::move(work));
    QCoreApplication::postEvent(runner, new QEvent(runType), Qt::LowEventPriority - 1);
}
