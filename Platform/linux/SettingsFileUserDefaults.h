#pragma once

#include "Platform/UserDefaults.h"

#include <QFileSystemWatcher>
#include <QSettings>
#include <memory>

// User defaults kept by QSettings in a property list per domain (XML, or binary when a value read
// from the file would not survive XML), under the user's config folder:
// ~/.config/Kestrowan/Kestrowan.plist for the standard domain, ~/.config/Kestrowan/<suite>.plist for a
// suite. A property list keeps each value's type, as the platform's defaults do. Changes that another
// process writes into the file are picked up and reported key by key, as the platform's defaults
// report changes made by other programs.
class SettingsFileUserDefaults final : public UserDefaults {
    Q_OBJECT
public:
    explicit SettingsFileUserDefaults(const QString &suiteName, QObject *parent = nullptr);
    ~SettingsFileUserDefaults() override;

    static QString fileForSuite(const QString &suiteName);

    QVariant value(const QString &key) const override;
    void setValue(const QString &key, const QVariant &value) override;
    void remove(const QString &key) override;
    QStringList keys() const override;
    void synchronize() override;

private:
    Q_INVOKABLE void startWatching();
    void fileChanged();
    void watch();
    QVariantMap snapshot() const;

    std::unique_ptr<QSettings> m_settings;
    QString m_file;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    // The values as this object last reported them.
    QVariantMap m_reported;
};
