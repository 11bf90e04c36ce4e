// Slows password guessing: each failed login doubles the wait of the next attempt for that user
// and, past a threshold, for that address. A user or address without failures waits nothing.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace stand {

class LoginThrottle {
public:
    static constexpr int kFirstDelayMs = 250;
    static constexpr int kMaxDelayMs = 4000;
    // Failures from one address under different names before the address itself is slowed.
    static constexpr int kAddressFreeFailures = 10;
    // Failures are forgotten after this long without a new one.
    static constexpr int64_t kForgetAfterMs = 15 * 60 * 1000;

    // Milliseconds the next attempt of user from address must wait first.
    int DelayMs(const std::string &address, const std::string &user, int64_t nowMs);
    // Returns how many failures the user has in a row, this one included.
    int Failed(const std::string &address, const std::string &user, int64_t nowMs);
    void Succeeded(const std::string &address, const std::string &user);

private:
    struct Record {
        int failures = 0;
        int64_t lastMs = 0;
    };
    static int Delay(int failures);
    int Count(std::map<std::string, Record> *records, const std::string &key, int64_t nowMs);
    void Prune(int64_t nowMs);

    std::mutex mutex_;
    std::map<std::string, Record> users_;
    std::map<std::string, Record> addresses_;
};

} // namespace stand
