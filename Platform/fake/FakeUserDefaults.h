#pragma once

#include "Platform/UserDefaults.h"

#include <QVariantMap>

// In-memory defaults for tests: nothing touches the disk.
class FakeUserDefaults final : public UserDefaults {
    Q_OBJECT
public:
    using UserDefaults::UserDefaults;

    QVariant value(const QString &key) const override { return m_values.value(key); }
    void setValue(const QString &key, const QVariant &value) override;
    void remove(const QString &key) override;
    QStringList keys() const override { return m_values.keys(); }
    void synchronize() override { ++synchronizeCount; }

    int synchronizeCount = 0;

private:
    QVariantMap m_values;
};
