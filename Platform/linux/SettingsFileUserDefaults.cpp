#include "Platform/linux/SettingsFileUserDefaults.h"

#include "Platform/PropertyList.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QLoggingCategory>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(defaultsLog, "com.kestrowan.app.persistence")

namespace {

// A file that does not parse leaves the domain empty for this run; QSettings then rewrites it on the
// next change, so we keep a copy of the unreadable file beside it first.
bool readPropertyList(QIODevice &device, QSettings::SettingsMap &map)
{
    const QByteArray bytes = device.read(PropertyList::maximumInputSize + 1);
    if (bytes.isEmpty())
        return true;
    const auto parsed = PropertyList::parse(bytes);
    if (!parsed || parsed->typeId() != QMetaType::QVariantMap) {
        if (auto *file = qobject_cast<QFile *>(&device)) {
            const QString copy = file->fileName() + QStringLiteral(".unreadable");
            QFile::remove(copy);
            QFile::copy(file->fileName(), copy);
            qCCritical(defaultsLog, "Preferences file %s is unreadable; kept a copy at %s",
                       qUtf8Printable(file->fileName()), qUtf8Printable(copy));
        }
        return false;
    }
    const QVariantMap root = parsed->toMap();
    for (auto it = root.cbegin(); it != root.cend(); ++it)
        map.insert(it.key(), it.value());
    return true;
}

bool writePropertyList(QIODevice &device, const QSettings::SettingsMap &map)
{
    QVariantMap root;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        root.insert(it.key(), it.value());
    const QByteArray bytes = PropertyList::toXml(root);
    return device.write(bytes) == bytes.size();
}

QSettings::Format propertyListFormat()
{
    static const QSettings::Format format = QSettings::registerFormat(QStringLiteral("plist"), readPropertyList, writePropertyList);
    return format;
}

} // namespace

SettingsFileUserDefaults::SettingsFileUserDefaults(const QString &suiteName, QObject *parent)
    : UserDefaults(parent)
{
    const QString file = fileForSuite(suiteName);
    QDir().mkpath(QFileInfo(file).absolutePath());
    // A fifo there would hang the start and a link to a device would be read (and copied) without
    // end; such an entry is moved aside and the domain starts empty.
    const QFileInfo info(file);
    if ((info.exists() || info.isSymLink()) && !info.isFile()) {
        const QString aside = file + QStringLiteral(".unreadable");
        QFile::remove(aside);
        QFile::rename(file, aside);
        qCCritical(defaultsLog, "Preferences file %s is not a regular file; moved it to %s", qUtf8Printable(file),
                   qUtf8Printable(aside));
    }
    m_settings = std::make_unique<QSettings>(file, propertyListFormat());
}

SettingsFileUserDefaults::~SettingsFileUserDefaults() = default;

QString SettingsFileUserDefaults::fileForSuite(const QString &suiteName)
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString name = suiteName.isEmpty() ? QStringLiteral("Kestrowan") : suiteName;
    return base + QStringLiteral("/Kestrowan/") + name + QStringLiteral(".plist");
}

QVariant SettingsFileUserDefaults::value(const QString &key) const
{
    return m_settings->value(key);
}

void SettingsFileUserDefaults::setValue(const QString &key, const QVariant &value)
{
    if (!value.isValid()) {
        remove(key);
        return;
    }
    const QVariant old = m_settings->value(key);
    if (old.isValid() && old.typeId() == value.typeId() && old == value)
        return;
    m_settings->setValue(key, value);
    emit valueChanged(key);
}

void SettingsFileUserDefaults::remove(const QString &key)
{
    if (!m_settings->contains(key))
        return;
    m_settings->remove(key);
    emit valueChanged(key);
}

QStringList SettingsFileUserDefaults::keys() const
{
    return m_settings->allKeys();
}

void SettingsFileUserDefaults::synchronize()
{
    m_settings->sync();
}
