#include "Platform/linux/SettingsFileUserDefaults.h"

#include "Platform/PropertyList.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
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
    // QSettings commits what this wrote unless it fails; a full disk shows only at the flush.
    // XML unless a value read from the file would not survive it (a date's fraction of a second, a
    // UID, a control character): what this program does not know it writes back as it found it.
    const QByteArray bytes = PropertyList::toStoredForm(root);
    auto *file = qobject_cast<QFileDevice *>(&device);
    const std::optional<QString> failure = file ? SafeWrite::writeThrough(*file, bytes)
                                                : device.write(bytes) == bytes.size() ? std::nullopt
                                                                                      : std::optional(device.errorString());
    if (failure) {
        qCCritical(defaultsLog, "Could not save preferences: %s", qUtf8Printable(*failure));
        return false;
    }
    return true;
}

QSettings::Format propertyListFormat()
{
    static const QSettings::Format format = QSettings::registerFormat(QStringLiteral("plist"), readPropertyList, writePropertyList);
    return format;
}

} // namespace

SettingsFileUserDefaults::SettingsFileUserDefaults(const QString &suiteName, QObject *parent)
    : UserDefaults(parent)
    , m_file(fileForSuite(suiteName))
{
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    // A fifo there would hang the start and a link to a device would be read (and copied) without
    // end; such an entry is moved aside and the domain starts empty.
    const QFileInfo info(m_file);
    if ((info.exists() || info.isSymLink()) && !info.isFile()) {
        const QString aside = m_file + QStringLiteral(".unreadable");
        QFile::remove(aside);
        QFile::rename(m_file, aside);
        qCCritical(defaultsLog, "Preferences file %s is not a regular file; moved it to %s", qUtf8Printable(m_file),
                   qUtf8Printable(aside));
    }
    m_settings = std::make_unique<QSettings>(m_file, propertyListFormat());
    startWatching();
}

namespace {

// Defaults are read before the application object exists (the language override), when no file
// watcher can work yet; such instances start watching as soon as it does.
QList<QPointer<SettingsFileUserDefaults>> &waitingForApplication()
{
    static QList<QPointer<SettingsFileUserDefaults>> waiting;
    return waiting;
}

void startWaitingWatchers()
{
    const QList<QPointer<SettingsFileUserDefaults>> waiting = std::exchange(waitingForApplication(), {});
    for (const QPointer<SettingsFileUserDefaults> &defaults : waiting) {
        if (defaults)
            QMetaObject::invokeMethod(defaults, "startWatching", Qt::QueuedConnection);
    }
}

} // namespace

void SettingsFileUserDefaults::startWatching()
{
    m_reported = snapshot();
    watch();
}

void SettingsFileUserDefaults::watch()
{
    if (!QCoreApplication::instance()) {
        if (waitingForApplication().isEmpty())
            qAddPreRoutine(startWaitingWatchers);
        waitingForApplication().append(this);
        return;
    }
    if (!m_watcher) {
        m_watcher = std::make_unique<QFileSystemWatcher>();
        connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, this, &SettingsFileUserDefaults::fileChanged);
        connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this, &SettingsFileUserDefaults::fileChanged);
    }
    // Files are replaced whole, so the folder is watched too: a new file has a new identity.
    if (!m_watcher->directories().contains(QFileInfo(m_file).absolutePath()))
        m_watcher->addPath(QFileInfo(m_file).absolutePath());
    if (QFileInfo::exists(m_file) && !m_watcher->files().contains(m_file))
        m_watcher->addPath(m_file);
}

QVariantMap SettingsFileUserDefaults::snapshot() const
{
    QVariantMap values;
    for (const QString &key : m_settings->allKeys())
        values.insert(key, m_settings->value(key));
    return values;
}

void SettingsFileUserDefaults::fileChanged()
{
    watch();
    // Writes what this process changed and reads what others wrote. QSettings may have read the new
    // file on its own already, so the comparison is with what was last reported.
    m_settings->sync();
    const QVariantMap now = snapshot();
    QStringList changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        const QVariant old = m_reported.value(it.key());
        if (!old.isValid() || old.typeId() != it.value().typeId() || old != it.value())
            changed.append(it.key());
    }
    for (auto it = m_reported.cbegin(); it != m_reported.cend(); ++it) {
        if (!now.contains(it.key()))
            changed.append(it.key());
    }
    m_reported = now;
    for (const QString &key : std::as_const(changed))
        emit valueChanged(key);
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
    m_reported.insert(key, value);
    emit valueChanged(key);
}

void SettingsFileUserDefaults::remove(const QString &key)
{
    if (!m_settings->contains(key))
        return;
    m_settings->remove(key);
    m_reported.remove(key);
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
