#pragma once

#include "Tallyline/TransactionUpdates.h"

#include <QMap>
#include <QMutex>

// A store whose updates the test delivers by hand.
class FakeTransactionUpdates final : public TransactionUpdates
{
public:
    std::unique_ptr<Observation> observe(Handler handler) override
    {
        QMutexLocker lock(&m_mutex);
        const int id = m_nextId++;
        m_handlers.insert(id, std::move(handler));
        return std::make_unique<Watch>(this, id);
    }

    void deliver(const Update &update)
    {
        QList<Handler> handlers;
        {
            QMutexLocker lock(&m_mutex);
            handlers = m_handlers.values();
        }
        for (const Handler &handler : handlers)
            handler(update);
    }

    int observers()
    {
        QMutexLocker lock(&m_mutex);
        return int(m_handlers.size());
    }

    // The process that watched has ended: its watchers hear nothing more.
    void detachAll()
    {
        QMutexLocker lock(&m_mutex);
        m_handlers.clear();
    }

private:
    class Watch final : public Observation
    {
    public:
        Watch(FakeTransactionUpdates *owner, int id) : m_owner(owner), m_id(id) {}
        ~Watch() override
        {
            QMutexLocker lock(&m_owner->m_mutex);
            m_owner->m_handlers.remove(m_id);
        }

    private:
        FakeTransactionUpdates *m_owner;
        int m_id;
    };

    QMutex m_mutex;
    int m_nextId = 1;
    QMap<int, Handler> m_handlers;
};
