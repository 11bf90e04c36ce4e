#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

namespace stand {

// Finished hours of the archive, one measurement each, encoded as a span read sends them: a day read
// then copies 24 ready blocks instead of stepping SQLite through 86,400 rows. Least recently used
// hours go first once the cache would grow past its byte cap.
class ArchiveCache {
public:
    explicit ArchiveCache(size_t capBytes = 0) : cap_(capBytes) {}

    void SetCap(size_t capBytes);
    size_t Cap() const;
    // Appends the hour's records to `out`, at most `maxRecords` of them; false when it is not held.
    bool Append(int measId, int64_t hour, std::string *out, size_t maxRecords, size_t *appended);
    void Store(int measId, int64_t hour, std::string records);
    void Forget(int measId, int64_t hour);
    void Clear();
    size_t Bytes() const;

private:
    using Key = std::pair<int, int64_t>;
    struct KeyHash {
        size_t operator()(const Key &k) const { return std::hash<int64_t>()(k.second * 1000003 + k.first); }
    };
    struct Entry {
        std::string records;
        std::list<Key>::iterator use;
    };
    void Trim();

    mutable std::mutex mutex_;
    size_t cap_ = 0;
    size_t bytes_ = 0;
    std::list<Key> uses_; // most recently used first
    std::unordered_map<Key, Entry, KeyHash> entries_;
};

} // namespace stand
