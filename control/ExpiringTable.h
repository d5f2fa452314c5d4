// A table that remembers each entry for a while and holds a bounded number
// of them: an entry unused for `keepMs` is forgotten, and a new entry in a
// full table pushes out the one unused longest. An entry may be pinned (the
// `pinned` rule: an answer still under way, say): it is neither forgotten
// nor pushed out until the rule lets it go, and a table full of pinned
// entries takes no new one. Times are a monotonic clock in milliseconds,
// given by the caller, so that the owner's clock decides.
#pragma once

#include <QHash>

#include <functional>
#include <list>
#include <utility>

template <typename Key, typename Value>
class ExpiringTable
{
public:
    using Pinned = std::function<bool(const Value&)>;

    ExpiringTable(qint64 keepMs, qsizetype maxEntries, Pinned pinned = {})
        : m_keepMs(keepMs), m_max(maxEntries), m_pinned(std::move(pinned))
    {
    }
    // The index points into the list: a copy would point into the original.
    ExpiringTable(const ExpiringTable&) = delete;
    ExpiringTable& operator=(const ExpiringTable&) = delete;
    ExpiringTable(ExpiringTable&&) = default;
    ExpiringTable& operator=(ExpiringTable&&) = default;

    // The entry of `key` that has not expired by `nowMs`, or null.
    Value* Find(const Key& key, qint64 nowMs)
    {
        expire(nowMs);
        const auto found = m_index.find(key);
        return found == m_index.end() ? nullptr : &found.value()->item;
    }
    // The same, and its time starts again (a session used).
    Value* Touch(const Key& key, qint64 nowMs)
    {
        expire(nowMs);
        const auto found = m_index.find(key);
        if (found == m_index.end())
            return nullptr;
        found.value()->atMs = nowMs;
        m_entries.splice(m_entries.end(), m_entries, found.value());
        return &found.value()->item;
    }
    // Adds (or replaces) the entry of `key`; null when the table is full of
    // pinned entries.
    Value* Insert(const Key& key, Value value, qint64 nowMs)
    {
        expire(nowMs);
        Remove(key);
        for (auto it = m_entries.begin(); it != m_entries.end() && Size() >= m_max;)
            it = pinned(it->item) ? ++it : erase(it);
        if (Size() >= m_max)
            return nullptr;
        m_entries.push_back({key, std::move(value), nowMs});
        m_index.insert(key, std::prev(m_entries.end()));
        return &m_entries.back().item;
    }
    bool Remove(const Key& key)
    {
        const auto found = m_index.find(key);
        if (found == m_index.end())
            return false;
        m_entries.erase(found.value());
        m_index.erase(found);
        return true;
    }
    // Removes every entry for which `drop(key, value)` holds.
    template <typename Drop>
    void RemoveIf(Drop drop)
    {
        for (auto it = m_entries.begin(); it != m_entries.end();)
            it = drop(std::as_const(it->key), it->item) ? erase(it) : ++it;
    }
    qsizetype Size() const { return m_index.size(); }

private:
    struct Entry {
        Key key;
        Value item;
        qint64 atMs = 0;
    };
    using Iterator = typename std::list<Entry>::iterator;

    bool pinned(const Value& value) const { return m_pinned && m_pinned(value); }
    Iterator erase(Iterator it)
    {
        m_index.erase(m_index.constFind(it->key));
        return m_entries.erase(it);
    }
    // Oldest first: the first that has not expired ends the search, but
    // for pinned ones, which are passed over.
    void expire(qint64 nowMs)
    {
        for (auto it = m_entries.begin(); it != m_entries.end() && nowMs - it->atMs >= m_keepMs;)
            it = pinned(it->item) ? ++it : erase(it);
    }

    qint64 m_keepMs;
    qsizetype m_max;
    Pinned m_pinned;
    std::list<Entry> m_entries; // least recently used first
    QHash<Key, Iterator> m_index;
};
