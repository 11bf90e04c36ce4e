// A recorded grid frequency that the stand replays instead of its model, one value a second.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stand {

class FrequencyRecording {
public:
    // Lines "time;Hz" (time as dd.MM.yyyy hh:mm:ss in UTC or seconds since the epoch; further fields are
    // ignored) or one value per line. Bad lines are counted and skipped; false with a message when the
    // file cannot be read or holds not a single valid line.
    bool Load(const std::string &path, std::string *error);
    bool Parse(const std::string &text, std::string *error);

    // The value played at wall-clock second t: the recording loops, and its seconds keep their place on
    // the clock modulo its length (a plain list of values starts at midnight UTC).
    double At(int64_t t) const;
    size_t Size() const { return values_.size(); }
    int64_t Origin() const { return origin_; }
    bool Timed() const { return timed_; }
    int BadLines() const { return badLines_; }

private:
    std::vector<double> values_;
    int64_t origin_ = 0;
    bool timed_ = false;
    int badLines_ = 0;
};

} // namespace stand
