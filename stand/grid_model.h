// A deterministic model of the grid frequency and of the units' answer to it, one step a second.
// The same seed and start second give the same samples, so backfill and tests can rely on them.
#pragma once

#include "stand/demo_layout.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace stand {

constexpr int32_t kViolationBit = 0x10000000;
constexpr double kNominalHz = 50.0;

struct Sample {
    int measId;
    double time;
    double value;
    int32_t state;
};

// An ОПРЧ episode as seen by one unit, reported when the episode ends.
struct EpisodeReport {
    int station = 0;
    int unit = 0;      // index in the station's units
    int64_t start = 0; // first second beyond the dead band
    int64_t end = 0;   // last second of the episode
    int violationSeconds = 0;
    double worstDeviationHz = 0;
};

// Per-unit seconds kept for the CSV data of events.
struct UnitSecond {
    int64_t t;
    double freq;
    double power;
};

class GridModel {
public:
    GridModel(DemoLayout layout, uint64_t seed, int disturbEverySec);

    // Starts the model at second t0 (the state settles within a few minutes of model time).
    void Reset(int64_t t0);
    // The next Step also writes the discrete measurements, which otherwise go out once an hour.
    void RequestDiscreteSnapshot() { stepped_ = false; }
    // Advances to second t (each call one second after the previous) and appends the samples of t.
    void Step(int64_t t, std::vector<Sample> *out);
    // Episodes that ended in the last Step.
    const std::vector<EpisodeReport> &EndedEpisodes() const { return ended_; }
    // Seconds of one unit from `from` to `to`, as far as they are still kept (about 15 minutes).
    std::vector<UnitSecond> History(int station, int unit, int64_t from, int64_t to) const;

    double Frequency() const { return gridHz_; }
    const DemoLayout &Layout() const { return layout_; }

    // Standard normal number that depends only on (seed, stream, t).
    double Noise(uint64_t stream, int64_t t) const;

private:
    struct UnitState {
        double drift = 0;    // slow change of the base load, MW
        double power = 0;    // actual power, MW
        double expected = 0; // answer a sound unit would give by now, MW
        double performance = 1;
        int violationSeconds = 0;
        std::deque<UnitSecond> history;
    };

    double Disturbance(int64_t t) const;
    double Uniform(uint64_t stream, int64_t t) const;

    DemoLayout layout_;
    uint64_t seed_;
    int disturbEverySec_;
    double slow_ = 0;
    double smooth_ = 0;
    double gridHz_ = kNominalHz;
    bool stepped_ = false;
    bool inEpisode_ = false;
    int64_t episodeStart_ = 0;
    int64_t lastOutside_ = 0;
    double worstDeviation_ = 0;
    std::vector<std::vector<UnitState>> units_;
    std::vector<EpisodeReport> ended_;
};

} // namespace stand
