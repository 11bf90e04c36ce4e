#include "stand/frequency_recording.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

namespace stand {
namespace {

constexpr double kLowestHz = 45.0;
constexpr double kHighestHz = 55.0;
constexpr int64_t kLongestSeconds = 31 * 86400; // a month at 1 s is the most a stand needs to hold

std::string Trim(const std::string &s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r' || s[a] == '\n'))
        ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == '\n'))
        --b;
    return s.substr(a, b - a);
}

// A decimal number with a point or (as Russian spreadsheets write it) a comma, nothing else.
bool ToNumber(std::string text, double *out) {
    text = Trim(text);
    if (text.empty())
        return false;
    for (char &c : text) {
        if (c == ',')
            c = '.';
    }
    errno = 0;
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

bool ToHz(const std::string &text, double *out) {
    double v = 0;
    if (!ToNumber(text, &v) || v < kLowestHz || v > kHighestHz)
        return false;
    *out = v;
    return true;
}

// dd.MM.yyyy hh:mm:ss in UTC, or seconds since the epoch.
bool ToTime(std::string text, int64_t *out) {
    text = Trim(text);
    int day, month, year, hour, minute, second;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%2d.%2d.%4d %2d:%2d:%2d%c", &day, &month, &year, &hour, &minute, &second, &tail) ==
        6) {
        if (day < 1 || day > 31 || month < 1 || month > 12 || year < 1971 || year > 2200 || hour > 23 || minute > 59 ||
            second > 59 || hour < 0 || minute < 0 || second < 0)
            return false;
        std::tm tm{};
        tm.tm_mday = day;
        tm.tm_mon = month - 1;
        tm.tm_year = year - 1900;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        const std::time_t t = timegm(&tm);
        if (tm.tm_mday != day) // 31.02 and the like roll over
            return false;
        *out = int64_t(t);
        return true;
    }
    double v = 0;
    if (!ToNumber(text, &v) || v < 0 || v > 7258118400.0)
        return false;
    *out = int64_t(std::llround(v));
    return true;
}

} // namespace

bool FrequencyRecording::Load(const std::string &path, std::string *error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read the frequency file " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (!Parse(text.str(), error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

bool FrequencyRecording::Parse(const std::string &text, std::string *error) {
    values_.clear();
    origin_ = 0;
    badLines_ = 0;
    bool decided = false;
    int64_t last = 0;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty())
            continue;
        const size_t semicolon = line.find(';');
        const bool timedLine = semicolon != std::string::npos;
        // The first valid line decides the kind of the file; lines of the other kind are bad.
        if (decided && timedLine != timed_) {
            ++badLines_;
            continue;
        }
        double hz = 0;
        if (!timedLine) {
            if (!ToHz(line, &hz) || int64_t(values_.size()) >= kLongestSeconds) {
                ++badLines_;
                continue;
            }
            decided = true;
            timed_ = false;
            values_.push_back(hz);
            continue;
        }
        const size_t next = line.find(';', semicolon + 1);
        int64_t t = 0;
        if (!ToTime(line.substr(0, semicolon), &t) ||
            !ToHz(line.substr(semicolon + 1, next == std::string::npos ? std::string::npos : next - semicolon - 1),
                  &hz)) {
            ++badLines_;
            continue;
        }
        if (!decided) {
            decided = true;
            timed_ = true;
            origin_ = t;
            last = t - 1;
        }
        // Times go forward; a missing second holds the value before it.
        if (t <= last || t - origin_ >= kLongestSeconds) {
            ++badLines_;
            continue;
        }
        const double held = values_.empty() ? hz : values_.back();
        while (last + 1 < t) {
            values_.push_back(held);
            ++last;
        }
        values_.push_back(hz);
        last = t;
    }
    if (values_.empty()) {
        *error = "not a single valid line (expected \"dd.MM.yyyy hh:mm:ss;Hz\", \"seconds;Hz\" or one value in Hz "
                 "per line, " +
                 std::to_string(int(kLowestHz)) + "-" + std::to_string(int(kHighestHz)) + " Hz)";
        return false;
    }
    return true;
}

double FrequencyRecording::At(int64_t t) const {
    if (values_.empty())
        return 50.0;
    const int64_t n = int64_t(values_.size());
    return values_[size_t(((t - origin_) % n + n) % n)];
}

} // namespace stand
