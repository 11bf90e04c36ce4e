#include "stand/archive_cache.h"

#include "tlx/archive_layout.h"

#include <algorithm>

namespace stand {

namespace {
constexpr size_t kRecordSize = archive_layout::RecordSize;
}

void ArchiveCache::SetCap(size_t capBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    cap_ = capBytes;
    Trim();
}

size_t ArchiveCache::Cap() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cap_;
}

bool ArchiveCache::Append(int measId, int64_t hour, std::string *out, size_t maxRecords, size_t *appended) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find({measId, hour});
    if (it == entries_.end())
        return false;
    uses_.splice(uses_.begin(), uses_, it->second.use);
    const std::string &records = it->second.records;
    const size_t n = std::min(records.size() / kRecordSize, maxRecords);
    out->append(records, 0, n * kRecordSize);
    *appended = n;
    return true;
}

void ArchiveCache::Store(int measId, int64_t hour, std::string records) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (records.size() > cap_)
        return;
    const Key key{measId, hour};
    auto it = entries_.find(key);
    if (it != entries_.end()) {
        bytes_ -= it->second.records.size();
        uses_.erase(it->second.use);
        entries_.erase(it);
    }
    uses_.push_front(key);
    bytes_ += records.size();
    entries_.emplace(key, Entry{std::move(records), uses_.begin()});
    Trim();
}

void ArchiveCache::Forget(int measId, int64_t hour) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find({measId, hour});
    if (it == entries_.end())
        return;
    bytes_ -= it->second.records.size();
    uses_.erase(it->second.use);
    entries_.erase(it);
}

void ArchiveCache::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    uses_.clear();
    bytes_ = 0;
}

size_t ArchiveCache::Bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

void ArchiveCache::Trim() {
    while (bytes_ > cap_ && !uses_.empty()) {
        auto it = entries_.find(uses_.back());
        bytes_ -= it->second.records.size();
        entries_.erase(it);
        uses_.pop_back();
    }
}

} // namespace stand
