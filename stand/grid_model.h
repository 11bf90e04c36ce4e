// A deterministic model of the grid frequency and of the units' answer to it, one step a second.
// The same seed and start second give the same samples, so backfill and tests can rely on them.
#pragma once

#include "stand/demo_layout.h"
#include "stand/frequency_recording.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
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

// A sudden loss (or loss of load) somewhere in the grid: the frequency falls to its nadir, primary
// response arrests it at a quasi-steady offset, secondary control brings it back.
struct Disturbance {
    int64_t start = 0;
    double nadirHz = 0;     // signed: below zero an under-frequency event
    double fallSec = 0;     // start to nadir, 5-10 s
    double arrestShare = 0; // quasi-steady offset as a share of the nadir
    double restoreSec = 0;  // secondary control: back within this time, 5-15 min
    double At(int64_t t) const;
    int64_t End() const;
};

// What the model uses of a unit; the simulator refreshes it from the unit's stored settings.
struct UnitParams {
    double nominalMw = 0;
    double droopPercent = 5;
    double deadBandHz = 0.075;
    UnitPhysics physics;
};

class GridModel {
public:
    GridModel(DemoLayout layout, uint64_t seed, int disturbEverySec);

    // A recording replaces the modelled frequency (and its disturbances); units answer it the same way.
    void SetRecording(std::shared_ptr<const FrequencyRecording> recording) { recording_ = std::move(recording); }
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
    const UnitParams &Params(int station, int unit) const { return params_[size_t(station)][size_t(unit)]; }
    void SetParams(int station, int unit, const UnitParams &params);
    // The unit's set point at second t before its slow random drift: the daily load curve.
    double ScheduledMw(int station, int unit, int64_t t) const;

    // Disturbances starting in [from, to); they depend on the seed and the mean interval only.
    std::vector<Disturbance> DisturbancesBetween(int64_t from, int64_t to) const;
    // Load of the day at second t: 0 at the night minimum, 1 at the evening peak (Moscow time).
    static double DailyLoad(int64_t t);
    // The deterministic deviation that follows schedule changes at the top of the hour and the quarters.
    static double ScheduleStepHz(int64_t t);

    // Standard normal number that depends only on (seed, stream, t).
    double Noise(uint64_t stream, int64_t t) const;

private:
    struct UnitState {
        double drift = 0;    // slow change of the base load, MW
        double answer = 0;   // the governor's answer before the unit's limits, MW
        double power = 0;    // actual power, MW
        double expected = 0; // answer a sound unit would give by now, MW
        int violationSeconds = 0;
        std::deque<UnitSecond> history;
    };

    bool DrawSlot(int64_t slot, Disturbance *out) const;
    double Uniform(uint64_t stream, int64_t t) const;
    double DelayedDeviation(double seconds) const;

    DemoLayout layout_;
    uint64_t seed_;
    int disturbEverySec_;
    std::shared_ptr<const FrequencyRecording> recording_;
    double slow_ = 0;
    double smooth_ = 0;
    double gridHz_ = kNominalHz;
    bool stepped_ = false;
    bool inEpisode_ = false;
    int64_t episodeStart_ = 0;
    int64_t lastOutside_ = 0;
    double worstDeviation_ = 0;
    int64_t nextSlot_ = 0;
    std::deque<Disturbance> active_;
    std::array<double, 64> deviations_{}; // the grid's last seconds, for the governors' dead time
    int64_t ringAt_ = 0;
    bool ringFresh_ = true;
    std::vector<std::vector<UnitParams>> params_;
    std::vector<std::vector<UnitState>> units_;
    std::vector<EpisodeReport> ended_;
};

} // namespace stand
