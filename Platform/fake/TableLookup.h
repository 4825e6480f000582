#pragma once

#include <QHash>

#include <optional>

// The value stored under `key`, or nullopt: how the fakes answer from their tables.
template <typename Key, typename Value>
std::optional<Value> tableLookup(const QHash<Key, Value> &table, const Key &key)
{
    const auto found = table.constFind(key);
    if (found == table.cend())
        return std::nullopt;
    return *found;
}
