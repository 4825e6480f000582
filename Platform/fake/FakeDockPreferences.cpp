#include "Platform/fake/FakeDockPreferences.h"

#include <QDir>

std::optional<QVariantMap> FakeDockPreferences::read() const
{
    ++readCount;
    if (damaged)
        return std::nullopt;
    return values;
}

bool FakeDockPreferences::write(const QString &key, const QVariant &value, int *)
{
    writtenKeys.append(key);
    if (damaged)
        return false;
    switch (writeBehaviour) {
    case WriteBehaviour::Store:
        values.insert(key, value);
        ++stores;
        return true;
    case WriteBehaviour::DropSilently:
        return true;
    case WriteBehaviour::Fail:
        return false;
    }
    return false;
}

QString FakeDockPreferences::lockedFile()
{
    return QDir::homePath() + QStringLiteral("/fake-com.apple.dock.plist");
}

StoredFileLock FakeDockPreferences::lockForChange()
{
    return StoredFileLock::tryLock(lockedFile());
}
