#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

// The program's preferences store: typed key/value pairs like the platform's user defaults.
// Values keep their type (bool, qint64, double, QString, QByteArray, QVariantList, QVariantMap,
// QDateTime); an absent key reads as an invalid QVariant. `standard()` is the program's own domain;
// `suite(name)` is a named domain of its own, stored apart.
class UserDefaults : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<std::unique_ptr<UserDefaults>(const QString &suiteName)>;

    // The empty suite name is the standard domain.
    static UserDefaults &standard();
    static UserDefaults &suite(const QString &name);
    // Replaces how domains are made (tests install an in-memory fake). Domains already made are
    // dropped, so call this before anything reads the defaults.
    static void installFactory(Factory factory);

    virtual QVariant value(const QString &key) const = 0;
    // An invalid QVariant removes the key.
    virtual void setValue(const QString &key, const QVariant &value) = 0;
    virtual void remove(const QString &key) = 0;
    virtual QStringList keys() const = 0;
    // Writes pending changes to storage now.
    virtual void synchronize() {}
    // Writes the changes made so far to storage as soon as it can, without waiting for another
    // writer (one that holds the stored file is asked again from the event loop), then calls `done`
    // from the event loop while `context` lives: true once they are in storage, durably, false when
    // the write failed (they stay in memory and are written again later). For a step that must not
    // come before the change is on disk.
    virtual void storeNow(QObject *context, std::function<void(bool stored)> done);
    // Whether changes made here are not in storage because the last write failed (a full disk, a
    // folder that cannot be written); they are kept and written again with the next change and at
    // quit. `saveFailingChanged` tells when this turns.
    virtual bool saveFailing() const { return false; }
    // Whether the stored settings were refused as unreadable (not a property list this reads, or a
    // file that cannot be read): the values stored there are not in effect, and a copy of the file
    // is kept aside before anything is written over it. `storedFileUnreadableChanged` tells when this
    // turns.
    virtual bool storedFileUnreadable() const { return false; }

    bool contains(const QString &key) const { return value(key).isValid(); }

    // Typed reads: a missing key, or a value of another type, reads as the given default.
    QString string(const QString &key, const QString &defaultValue = {}) const;
    // Booleans follow the platform's conversion: numbers are true when non-zero, and the texts
    // "YES"/"true"/"1" and "NO"/"false"/"0" (any letter case) count; anything else is the default.
    bool boolean(const QString &key, bool defaultValue = false) const;
    // The same conversion of a value read elsewhere (another program's preferences).
    static bool booleanValue(const QVariant &value, bool defaultValue = false);
    qint64 integer(const QString &key, qint64 defaultValue = 0) const;
    double real(const QString &key, double defaultValue = 0.0) const;
    QByteArray data(const QString &key) const;
    // A list holding anything but strings reads as empty.
    QStringList stringList(const QString &key) const;
    // A dictionary holding anything but string values reads as empty.
    QMap<QString, QString> stringMap(const QString &key) const;

    void setStringList(const QString &key, const QStringList &list);
    void setStringMap(const QString &key, const QMap<QString, QString> &map);

    // Calls `handler` whenever `key` changes, while `context` lives.
    QMetaObject::Connection observe(const QString &key, QObject *context, std::function<void()> handler);

signals:
    void valueChanged(const QString &key);
    void saveFailingChanged();
    void storedFileUnreadableChanged();

protected:
    using QObject::QObject;
};
