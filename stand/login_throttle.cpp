#include "stand/login_throttle.h"

#include <algorithm>

namespace stand {

int LoginThrottle::Delay(int failures) {
    if (failures <= 0)
        return 0;
    int delay = kFirstDelayMs;
    for (int i = 1; i < failures && delay < kMaxDelayMs; ++i)
        delay *= 2;
    return std::min(delay, kMaxDelayMs);
}

int LoginThrottle::Count(std::map<std::string, Record> *records, const std::string &key, int64_t nowMs) {
    auto it = records->find(key);
    if (it == records->end())
        return 0;
    if (nowMs - it->second.lastMs > kForgetAfterMs) {
        records->erase(it);
        return 0;
    }
    return it->second.failures;
}

void LoginThrottle::Prune(int64_t nowMs) {
    // Bounded memory under a flood of made-up names or addresses.
    for (auto *records : {&users_, &addresses_})
        if (records->size() > 10000)
            for (auto it = records->begin(); it != records->end();)
                it = nowMs - it->second.lastMs > kForgetAfterMs ? records->erase(it) : std::next(it);
}

int LoginThrottle::DelayMs(const std::string &address, const std::string &user, int64_t nowMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int byUser = Delay(Count(&users_, user, nowMs));
    const int byAddress = Delay(Count(&addresses_, address, nowMs) - kAddressFreeFailures);
    return std::max(byUser, byAddress);
}

int LoginThrottle::Failed(const std::string &address, const std::string &user, int64_t nowMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    Prune(nowMs);
    const int userFailures = std::min(Count(&users_, user, nowMs) + 1, 1000);
    const int addressFailures = std::min(Count(&addresses_, address, nowMs) + 1, 1000);
    users_[user] = Record{userFailures, nowMs};
    addresses_[address] = Record{addressFailures, nowMs};
    return userFailures;
}

void LoginThrottle::Succeeded(const std::string &address, const std::string &user) {
    std::lock_guard<std::mutex> lock(mutex_);
    users_.erase(user);
    (void)address; // other names' failures from this address still count against it
}

} // namespace stand
