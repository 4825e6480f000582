#pragma once

#include "Platform/FileStamp.h"

#include <QHash>
#include <QString>

#include <mutex>
#include <optional>

// A small cache of drawing work that depends on files: an entry counts only while its file still has
// the stamp it was made from. Work that depends only on bitmaps is keyed by their cache keys, which
// the process never hands out twice. Safe from any thread; the least recently used entries go first.
template <typename Value>
class StampedCache {
public:
    explicit StampedCache(qsizetype capacity) : m_capacity(capacity) {}

    // Entries that hang on no file use the empty stamp.
    std::optional<Value> find(const QString &key, const FileStamp &stamp = {})
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_entries.find(key);
        if (it == m_entries.end() || !(it->stamp == stamp))
            return std::nullopt;
        it->used = ++m_clock;
        return it->value;
    }

    void insert(const QString &key, const Value &value) { insert(key, FileStamp{}, value); }
    void insert(const QString &key, const FileStamp &stamp, const Value &value)
    {
        // Work on a file changed a moment ago is not kept: a second change within the file
        // system's time step could leave the same stamp.
        if (stamp.exists && !stamp.settledAt(FileStamp::nowNanoseconds()))
            return;
        const std::lock_guard lock(m_mutex);
        m_entries.insert(key, Entry{stamp, value, ++m_clock});
        while (m_entries.size() > m_capacity) {
            auto oldest = m_entries.begin();
            for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
                if (it->used < oldest->used)
                    oldest = it;
            }
            m_entries.erase(oldest);
        }
    }

    void clear()
    {
        const std::lock_guard lock(m_mutex);
        m_entries.clear();
    }

private:
    struct Entry {
        FileStamp stamp;
        Value value;
        quint64 used = 0;
    };
    std::mutex m_mutex;
    QHash<QString, Entry> m_entries;
    qsizetype m_capacity;
    quint64 m_clock = 0;
};
