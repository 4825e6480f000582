#include "Platform/UserDefaults.h"

#include "Platform/linux/SettingsFileUserDefaults.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>

#include <cmath>
#include <map>

namespace {

struct Registry {
    QMutex mutex;
    UserDefaults::Factory factory;
    std::map<QString, std::unique_ptr<UserDefaults>> domains;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

// A whole number of any width, as a property list's <integer> reads back.
bool isWholeNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

} // namespace

UserDefaults &UserDefaults::standard()
{
    return suite(QString());
}

UserDefaults &UserDefaults::suite(const QString &name)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    auto found = r.domains.find(name);
    if (found != r.domains.end())
        return *found->second;
    std::unique_ptr<UserDefaults> domain = r.factory ? r.factory(name) : std::make_unique<SettingsFileUserDefaults>(name);
    UserDefaults &ref = *domain;
    r.domains.emplace(name, std::move(domain));
    return ref;
}

void UserDefaults::installFactory(Factory factory)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    r.factory = std::move(factory);
    r.domains.clear();
}

void UserDefaults::storeNow(QObject *context, std::function<void(bool stored)> done)
{
    // Nothing to write for defaults kept in memory.
    QMetaObject::invokeMethod(
        context,
        [done = std::move(done)] {
            if (done)
                done(true);
        },
        Qt::QueuedConnection);
}

QString UserDefaults::string(const QString &key, const QString &defaultValue) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QString ? v.toString() : defaultValue;
}

bool UserDefaults::boolean(const QString &key, bool defaultValue) const
{
    return booleanValue(value(key), defaultValue);
}

bool UserDefaults::booleanValue(const QVariant &v, bool defaultValue)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (isWholeNumber(v))
        return v.toLongLong() != 0;
    if (v.typeId() == QMetaType::Double)
        return v.toDouble() != 0.0;
    if (v.typeId() != QMetaType::QString)
        return defaultValue;
    const QString text = v.toString().trimmed().toLower();
    if (text == QLatin1String("yes") || text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("no") || text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return defaultValue;
}

qint64 UserDefaults::integer(const QString &key, qint64 defaultValue) const
{
    const QVariant v = value(key);
    if (isWholeNumber(v))
        return v.toLongLong();
    if (v.typeId() == QMetaType::Double && std::isfinite(v.toDouble()))
        return static_cast<qint64>(v.toDouble());
    return defaultValue;
}

double UserDefaults::real(const QString &key, double defaultValue) const
{
    const QVariant v = value(key);
    return isWholeNumber(v) || v.typeId() == QMetaType::Double ? v.toDouble() : defaultValue;
}

QByteArray UserDefaults::data(const QString &key) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : QByteArray();
}

QStringList UserDefaults::stringList(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList();
    if (v.typeId() != QMetaType::QVariantList)
        return {};
    QStringList result;
    for (const QVariant &element : v.toList()) {
        if (element.typeId() != QMetaType::QString)
            return {};
        result.append(element.toString());
    }
    return result;
}

QMap<QString, QString> UserDefaults::stringMap(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::QVariantMap)
        return {};
    QMap<QString, QString> result;
    const QVariantMap map = v.toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QString)
            return {};
        result.insert(it.key(), it.value().toString());
    }
    return result;
}

void UserDefaults::setStringList(const QString &key, const QStringList &list)
{
    QVariantList values;
    for (const QString &s : list)
        values.append(s);
    setValue(key, values);
}

void UserDefaults::setStringMap(const QString &key, const QMap<QString, QString> &map)
{
    QVariantMap values;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        values.insert(it.key(), it.value());
    setValue(key, values);
}

QMetaObject::Connection UserDefaults::observe(const QString &key, QObject *context, std::function<void()> handler)
{
    return connect(this, &UserDefaults::valueChanged, context, [key, handler = std::move(handler)](const QString &changed) {
        if (changed == key)
            handler();
    });
}
