#include "Tallyline/DefaultsSuite.h"

#include "Platform/safewrite/SafeWrite.h"
#include "Platform/logging/LoggedText.h"

#include <QMutex>
#include <QSettings>
#include <QStandardPaths>

namespace {

class SettingsFileSuite final : public DefaultsSuite
{
public:
    explicit SettingsFileSuite(const QString &name)
        : DefaultsSuite(name)
        , m_settings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + QStringLiteral("/Tallyline/") + name + QStringLiteral(".conf"),
                     QSettings::IniFormat)
    {
    }

    QVariant value(const QString &key) const override { return m_settings.value(key); }
    void setValue(const QString &key, const QVariant &value) override
    {
        if (replaceable())
            m_settings.setValue(key, value);
    }
    void remove(const QString &key) override
    {
        if (replaceable())
            m_settings.remove(key);
    }

private:
    // QSettings replaces its file through the links that name it; what is no regular file (a device,
    // a fifo) must not be replaced, so such a store keeps nothing.
    bool replaceable() const
    {
        const SafeWrite::Target target = SafeWrite::replaceableTarget(m_settings.fileName());
        if (target.refusal)
            qCritical("Refused to replace %s: %s", qUtf8Printable(loggedText(m_settings.fileName())), qUtf8Printable(loggedText(*target.refusal)));
        return !target.refusal;
    }

    QSettings m_settings;
};

QMutex factoryMutex;
DefaultsSuite::Factory installedFactory;

} // namespace

std::optional<QString> DefaultsSuite::string(const QString &key) const
{
    const QVariant stored = value(key);
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    return stored.toString();
}

QStringList DefaultsSuite::stringList(const QString &key) const
{
    const QVariant stored = value(key);
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList();
    // A settings file gives a list of one text back as that text.
    if (stored.typeId() == QMetaType::QString)
        return QStringList{stored.toString()};
    if (stored.typeId() != QMetaType::QVariantList)
        return {};
    QStringList list;
    for (const QVariant &entry : stored.toList()) {
        if (entry.typeId() != QMetaType::QString)
            return {};
        list.append(entry.toString());
    }
    return list;
}

qint64 DefaultsSuite::integer(const QString &key, qint64 defaultValue) const
{
    const QVariant stored = value(key);
    bool ok = false;
    qint64 number = 0;
    switch (stored.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return stored.toLongLong();
    case QMetaType::QString: // settings files keep numbers as text
        number = stored.toString().toLongLong(&ok);
        return ok ? number : defaultValue;
    default:
        return defaultValue;
    }
}

std::unique_ptr<DefaultsSuite> DefaultsSuite::open(const QString &name)
{
    Factory factory;
    {
        QMutexLocker lock(&factoryMutex);
        factory = installedFactory;
    }
    if (factory)
        return factory(name);
    return std::make_unique<SettingsFileSuite>(name);
}

void DefaultsSuite::installFactory(Factory factory)
{
    QMutexLocker lock(&factoryMutex);
    installedFactory = std::move(factory);
}
