#pragma once

#include "Platform/DockPreferences.h"

#include <QStringList>

// An in-memory Dock domain for tests, with the ways a real one misbehaves.
class FakeDockPreferences final : public DockPreferences {
public:
    enum class WriteBehaviour {
        Store,          // keeps the value
        DropSilently,   // reports success but keeps the old value, as a system that refuses quietly
        Fail,           // reports failure
    };

    QVariantMap values;
    bool damaged = false; // read() reports a domain that cannot be read
    WriteBehaviour writeBehaviour = WriteBehaviour::Store;
    QStringList writtenKeys;
    mutable int readCount = 0;
    // Counts what was stored: the domain's version.
    int stores = 0;

    std::optional<QVariantMap> read() const override;
    bool write(const QString &key, const QVariant &value, int *error = nullptr) override;
    // A real lock on a file of the test's home, so that a test can hold it as another writer would.
    StoredFileLock lockForChange() override;
    QByteArray storedVersion() override { return QByteArray::number(stores); }
    static QString lockedFile();
};
