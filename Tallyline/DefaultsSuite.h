#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

// The client's own key/value store, one per suite name. By default a settings file per suite under
// the user's config folder ("Tallyline/<name>.conf"); a host may route suites into its own store.
class DefaultsSuite
{
public:
    using Factory = std::function<std::unique_ptr<DefaultsSuite>(const QString &name)>;

    virtual ~DefaultsSuite() = default;

    virtual QVariant value(const QString &key) const = 0;
    virtual void setValue(const QString &key, const QVariant &value) = 0;
    virtual void remove(const QString &key) = 0;

    // Absent, or not a text: no value.
    std::optional<QString> string(const QString &key) const;
    // Absent, or not a list of texts: empty.
    QStringList stringList(const QString &key) const;
    // Absent, or not a whole number: the default.
    qint64 integer(const QString &key, qint64 defaultValue = 0) const;

    QString name() const { return m_name; }

    // A new handle on the suite.
    static std::unique_ptr<DefaultsSuite> open(const QString &name);
    // Null restores the settings-file store.
    static void installFactory(Factory factory);

protected:
    explicit DefaultsSuite(const QString &name) : m_name(name) {}

private:
    QString m_name;
};
