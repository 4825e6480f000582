#pragma once

#include "Platform/FileStamp.h"

#include <QHash>
#include <QString>

// Documents whose picture could not be made, by the state of the file they failed in. A lasting
// failure (the document gave no picture, or drove its decoder to its limits) holds until the file
// changes; a transient one (the decoder could not start, or ran out of time on a busy machine) is
// tried again after a pause that doubles each time, and counts as lasting after a few. Not locked:
// its owner keeps it on one thread or under its own lock.
class FailedDocuments {
public:
    static constexpr qint64 firstRetryMs = 15000;
    static constexpr qint64 longestRetryMs = 10 * 60 * 1000;
    static constexpr int transientTries = 4;
    // Failures remembered at most; the oldest go first (they are only asked for again).
    static constexpr int capacity = 4096;

    // Whether a decoder may be asked for the file in the state `stamp` at `nowMs` (a steady clock).
    bool mayTry(const QString &path, const FileStamp &stamp, qint64 nowMs) const;
    void failed(const QString &path, const FileStamp &stamp, bool transient, qint64 nowMs);
    void succeeded(const QString &path) { m_failures.remove(path); }
    void clear() { m_failures.clear(); }
    qsizetype size() const { return m_failures.size(); }

    // A steady clock in milliseconds.
    static qint64 nowMs();

private:
    struct Failure {
        FileStamp stamp;
        int transientCount = 0;
        qint64 retryAtMs = 0; // 0: lasting
        quint64 order = 0;
    };
    QHash<QString, Failure> m_failures;
    quint64 m_clock = 0;
};
