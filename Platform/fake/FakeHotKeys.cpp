#include "Platform/fake/FakeHotKeys.h"

void FakeHotKeys::press(quint16 keyCode, quint32 modifiers)
{
    for (const Registration &registration : QList(registrations.values())) {
        if (registration.keyCode == keyCode && registration.modifiers == modifiers)
            deliver(HotKeyEvent{registration.id});
    }
}

void FakeHotKeys::deliver(const HotKeyEvent &event)
{
    for (const Handler &handler : QList(handlers.values()))
        handler(event);
}

std::optional<FakeHotKeys::Registration> FakeHotKeys::registrationFor(quint32 id) const
{
    for (const Registration &registration : registrations) {
        if (registration.id.id == id)
            return registration;
    }
    return std::nullopt;
}

std::optional<quint64> FakeHotKeys::registerHotKey(quint16 keyCode, quint32 modifiers, EventHotKeyID id, QString *failure)
{
    if (taken.contains(qMakePair(keyCode, modifiers))) {
        if (failure)
            *failure = QStringLiteral("held by another program");
        return std::nullopt;
    }
    const quint64 handle = m_next++;
    registrations.insert(handle, {keyCode, modifiers, id});
    return handle;
}

void FakeHotKeys::unregisterHotKey(quint64 handle)
{
    ++unregisterCount;
    registrations.remove(handle);
}

quint64 FakeHotKeys::installHandler(Handler handler)
{
    const quint64 handle = m_next++;
    handlers.insert(handle, std::move(handler));
    return handle;
}

void FakeHotKeys::removeHandler(quint64 handle)
{
    handlers.remove(handle);
}
