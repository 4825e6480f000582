#pragma once

#include <QHash>
#include <QString>

#include <mutex>
#include <optional>

// What identifies one state of a file: a change of its content, a replacement by another file or its
// removal all give another stamp. Nothing exists at the path when `exists` is false.
struct FileStamp {
    bool exists = false;
    qint64 size = 0;
    qint64 inode = 0;
    qint64 modifiedNanoseconds = 0;
    qint64 changedNanoseconds = 0;

    static FileStamp of(const QString &path);
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

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
