#include "Platform/fake/FakeUserDefaults.h"

void FakeUserDefaults::setValue(const QString &key, const QVariant &value)
{
    if (!value.isValid()) {
        remove(key);
        return;
    }
    const auto found = m_values.constFind(key);
    if (found != m_values.cend() && found->typeId() == value.typeId() && *found == value)
        return;
    m_values.insert(key, value);
    emit valueChanged(key);
}

void FakeUserDefaults::remove(const QString &key)
{
    if (m_values.remove(key) > 0)
        emit valueChanged(key);
}
