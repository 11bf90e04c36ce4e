#include "stand/grid_model.h"

#include <algorithm>
#include <cmath>

namespace stand {
namespace {

// Quiet-grid constants tuned against a measured day of Continental Europe frequency at 1 s.
constexpr double kMeanOffsetHz = 0.0025;
constexpr double kSlowTau = 242.0;          // s, gives the autocorrelation at 60 s and 300 s
constexpr double kSlowSigma = 0.0165;       // Hz
constexpr double kSmoothTau = 0.5;          // s, keeps the 1-second change small
constexpr double kQuarterKickSigma = 0.030; // Hz, the random part of schedule changes
constexpr double kScheduleStepHz = 0.16;    // Hz per unit of hourly load ramp
constexpr double kScheduleStepPeak = 90.0;  // s after the change at which its deviation is largest
constexpr double kMeterSigma = 0.0003;      // Hz, station meter noise
constexpr double kDeadBandHz = 0.075;
constexpr double kReferenceLag = 10.0; // s, the lag a sound unit's answer is allowed
constexpr double kRequiredCap = 0.1;   // share of nominal power the droop rule asks at most
constexpr int kEpisodeTail = 60;       // s inside the band that end an episode
constexpr int kHistorySeconds = 900;
constexpr int64_t kSlotSeconds = 10;          // disturbances are drawn per slot, at any second of it
constexpr int64_t kLongestDisturbance = 1600; // s, see Disturbance::End
constexpr double kMoscowOffset = 3 * 3600.0;

uint64_t SplitMix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

enum Stream : uint64_t {
    kSlowStream = 1,
    kKickStream,
    kDipStream,
    kDipPhaseStream,
    kDipSizeStream,
    kDipSignStream,
    kDipFallStream,
    kDipArrestStream,
    kDipRestoreStream,
    kMeterStream = 100,
    kUnitStream = 1000
};

// Beyond the dead band only.
double Effective(double deviation, double deadBand) {
    if (deviation > deadBand)
        return deviation - deadBand;
    if (deviation < -deadBand)
        return deviation + deadBand;
    return 0;
}

} // namespace

double Disturbance::At(int64_t t) const {
    const double dt = double(t - start);
    if (dt < 0 || t > End())
        return 0;
    if (dt < fallSec)
        return nadirHz * std::sin(M_PI / 2 * dt / fallSec);
    const double primary = arrestShare + (1 - arrestShare) * std::exp(-(dt - fallSec) / 6.0);
    const double since = dt - fallSec - 30.0;
    const double secondary = since > 0 ? std::exp(-since / (restoreSec / 3.0)) : 1.0;
    return nadirHz * primary * secondary;
}

int64_t Disturbance::End() const {
    return start + int64_t(std::ceil(fallSec + 30.0 + 1.7 * restoreSec));
}

GridModel::GridModel(DemoLayout layout, uint64_t seed, int disturbEverySec)
    : layout_(std::move(layout)), seed_(seed), disturbEverySec_(disturbEverySec) {
    for (const StationSpec &station : layout_.stations) {
        std::vector<UnitParams> params;
        for (const UnitSpec &spec : station.units) {
            UnitParams p;
            p.nominalMw = spec.nominalMw;
            p.droopPercent = spec.droopPercent;
            p.deadBandHz = spec.deadBandHz;
            p.physics = spec.physics;
            params.push_back(p);
        }
        params_.push_back(params);
    }
}

double GridModel::Uniform(uint64_t stream, int64_t t) const {
    const uint64_t h = SplitMix(SplitMix(seed_ * 0x100000001B3ull + stream) ^ uint64_t(t));
    return (double(h >> 11) + 0.5) * (1.0 / 9007199254740992.0);
}

double GridModel::Noise(uint64_t stream, int64_t t) const {
    const double u1 = Uniform(stream * 2, t);
    const double u2 = Uniform(stream * 2 + 1, t);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
}

double GridModel::DailyLoad(int64_t t) {
    // Hourly points of a working day's load: night minimum at four, morning ramp, day plateau, evening peak.
    static const double curve[25] = {0.40, 0.25, 0.12, 0.05, 0.00, 0.04, 0.18, 0.42, 0.68, 0.80, 0.83, 0.83, 0.80,
                                     0.78, 0.78, 0.77, 0.79, 0.86, 0.95, 1.00, 1.00, 0.92, 0.75, 0.57, 0.40};
    double hours = std::fmod((double(t) + kMoscowOffset) / 3600.0, 24.0);
    if (hours < 0)
        hours += 24.0;
    const int h = int(hours);
    const double f = hours - h;
    return curve[h] * (1 - f) + curve[h + 1] * f;
}

double GridModel::ScheduleStepHz(int64_t t) {
    // Schedules change in steps while the load ramps smoothly: generation runs ahead of a rising load
    // after the change (frequency up) and behind a falling one (frequency down). The top of the hour
    // brings the largest step, the quarters a third of it.
    double sum = 0;
    const int64_t quarter = FloorDiv(t, 900) * 900;
    for (int64_t b = quarter; b > quarter - 1800; b -= 900) {
        const double dt = double(t - b);
        const double ramp = DailyLoad(b + 1800) - DailyLoad(b - 1800);
        const bool hour = FloorDiv(b, 3600) * 3600 == b;
        const double amplitude = kScheduleStepHz * ramp * (hour ? 1.0 : 1.0 / 3.0);
        sum += amplitude * (dt / kScheduleStepPeak) * std::exp(1 - dt / kScheduleStepPeak);
    }
    return sum;
}

bool GridModel::DrawSlot(int64_t slot, Disturbance *out) const {
    if (disturbEverySec_ <= 0)
        return false;
    // One draw per 10-s slot with the probability of a Poisson process of the given mean interval.
    const double p = 1 - std::exp(-double(kSlotSeconds) / double(disturbEverySec_));
    if (Uniform(kDipStream, slot) >= p)
        return false;
    out->start = slot * kSlotSeconds + int64_t(Uniform(kDipPhaseStream, slot) * double(kSlotSeconds));
    // Sizes 80-300 mHz with a density falling as 1/x^2: small events are the common ones.
    const double low = 0.080, high = 0.300;
    const double size = 1.0 / (1.0 / low - Uniform(kDipSizeStream, slot) * (1.0 / low - 1.0 / high));
    // Lost generation is more common than lost load.
    out->nadirHz = Uniform(kDipSignStream, slot) < 0.65 ? -size : size;
    out->fallSec = 5 + 5 * Uniform(kDipFallStream, slot);
    out->arrestShare = 0.4 + 0.3 * Uniform(kDipArrestStream, slot);
    out->restoreSec = 300 + 600 * Uniform(kDipRestoreStream, slot);
    return true;
}

std::vector<Disturbance> GridModel::DisturbancesBetween(int64_t from, int64_t to) const {
    std::vector<Disturbance> result;
    for (int64_t slot = FloorDiv(from, kSlotSeconds); slot * kSlotSeconds < to; ++slot) {
        Disturbance d;
        if (DrawSlot(slot, &d) && d.start >= from && d.start < to)
            result.push_back(d);
    }
    return result;
}

void GridModel::SetParams(int station, int unit, const UnitParams &params) {
    if (station < 0 || size_t(station) >= params_.size() || unit < 0 || size_t(unit) >= params_[station].size())
        return;
    params_[size_t(station)][size_t(unit)] = params;
}

double GridModel::ScheduledMw(int station, int unit, int64_t t) const {
    const UnitSpec &spec = layout_.stations[size_t(station)].units[size_t(unit)];
    const double nominal = params_[size_t(station)][size_t(unit)].nominalMw;
    return nominal * (spec.nightShare + (spec.peakShare - spec.nightShare) * DailyLoad(t));
}

double GridModel::DelayedDeviation(double seconds) const {
    seconds = std::max(0.0, std::min(seconds, double(deviations_.size() - 2)));
    const int64_t whole = int64_t(seconds);
    const double f = seconds - double(whole);
    const double a = deviations_[size_t((ringAt_ - whole) & 63)];
    const double b = deviations_[size_t((ringAt_ - whole - 1) & 63)];
    return a * (1 - f) + b * f;
}

void GridModel::Reset(int64_t t0) {
    slow_ = kSlowSigma * Noise(kSlowStream, t0 - 1);
    smooth_ = slow_;
    inEpisode_ = false;
    worstDeviation_ = 0;
    active_.clear();
    nextSlot_ = FloorDiv(t0 - kLongestDisturbance, kSlotSeconds);
    ringFresh_ = true;
    ringAt_ = t0 - 1;
    units_.assign(layout_.stations.size(), {});
    for (size_t s = 0; s < layout_.stations.size(); ++s) {
        for (size_t u = 0; u < layout_.stations[s].units.size(); ++u) {
            UnitState state;
            state.power = ScheduledMw(int(s), int(u), t0);
            units_[s].push_back(state);
        }
    }
    stepped_ = false;
    gridHz_ = kNominalHz + kMeanOffsetHz + smooth_;
}

void GridModel::Step(int64_t t, std::vector<Sample> *out) {
    ended_.clear();
    if (recording_) {
        gridHz_ = recording_->At(t);
    } else {
        const double a = std::exp(-1.0 / kSlowTau);
        slow_ = a * slow_ + std::sqrt(1 - a * a) * kSlowSigma * Noise(kSlowStream, t);
        // Besides their deterministic step, schedule changes push the frequency at random over half a minute.
        const int64_t intoQuarter = t - FloorDiv(t, 900) * 900;
        if (intoQuarter < 30)
            slow_ += kQuarterKickSigma * Noise(kKickStream, t - intoQuarter) / 30.0;
        const double b = std::exp(-1.0 / kSmoothTau);
        smooth_ = b * smooth_ + (1 - b) * slow_;
        double disturbance = 0;
        while (nextSlot_ * kSlotSeconds <= t) {
            Disturbance d;
            if (DrawSlot(nextSlot_, &d))
                active_.push_back(d);
            ++nextSlot_;
        }
        for (const Disturbance &d : active_)
            disturbance += d.At(t);
        while (!active_.empty() && active_.front().End() < t)
            active_.pop_front();
        gridHz_ = kNominalHz + kMeanOffsetHz + smooth_ + ScheduleStepHz(t) + disturbance;
    }

    const double deviation = gridHz_ - kNominalHz;
    ringAt_ = t;
    deviations_[size_t(t & 63)] = deviation;
    if (ringFresh_) {
        // Right after a reset the governors have seen nothing else.
        deviations_.fill(deviation);
        ringFresh_ = false;
    }
    const bool outside = std::fabs(deviation) > kDeadBandHz;
    bool episodeEnds = false;
    if (outside) {
        if (!inEpisode_) {
            inEpisode_ = true;
            episodeStart_ = t;
            worstDeviation_ = 0;
            for (auto &station : units_) {
                for (UnitState &state : station)
                    state.violationSeconds = 0;
            }
        }
        lastOutside_ = t;
        if (std::fabs(deviation) > std::fabs(worstDeviation_))
            worstDeviation_ = deviation;
    } else if (inEpisode_ && t - lastOutside_ >= kEpisodeTail) {
        episodeEnds = true;
    }

    const double reference = 1 - std::exp(-1.0 / kReferenceLag);
    const double driftA = std::exp(-1.0 / 1800.0);
    for (size_t s = 0; s < layout_.stations.size(); ++s) {
        const StationSpec &station = layout_.stations[s];
        const double stationHz = recording_ ? gridHz_ : gridHz_ + kMeterSigma * Noise(kMeterStream + s, t);
        out->push_back({station.freqId, double(t), stationHz, 0});
        double total = 0;
        for (size_t u = 0; u < station.units.size(); ++u) {
            const UnitSpec &spec = station.units[u];
            const UnitParams &p = params_[s][u];
            const UnitPhysics &phys = p.physics;
            UnitState &state = units_[s][u];
            const uint64_t stream = kUnitStream + 1000 * (s + 1) + 4 * u;
            state.drift = driftA * state.drift + std::sqrt(1 - driftA * driftA) * 0.01 * p.nominalMw * Noise(stream, t);
            const double low = phys.minMw, high = std::max(phys.minMw, phys.maxMw);
            const double base = std::max(low, std::min(high, ScheduledMw(int(s), int(u), t) + state.drift));
            const double droop = std::max(0.1, p.droopPercent);

            // The droop rule: what the unit is required to add, within a tenth of its nominal power.
            double required = -(Effective(deviation, p.deadBandHz) / kNominalHz) * (100.0 / droop) * p.nominalMw;
            required = std::max(-kRequiredCap * p.nominalMw, std::min(kRequiredCap * p.nominalMw, required));

            // The governor sees the frequency after its dead time and answers through its time constant;
            // the unit follows within its ramp limit and its power limits.
            double target = 0;
            if (phys.governorOn)
                target = -(Effective(DelayedDeviation(phys.deadTimeSec), p.deadBandHz) / kNominalHz) * (100.0 / droop) *
                         p.nominalMw;
            state.answer += (target - state.answer) * (1 - std::exp(-1.0 / std::max(0.1, phys.timeConstantSec)));
            double change = std::max(low, std::min(high, base + state.answer)) - state.power;
            if (phys.rampMwPerSec > 0)
                change = std::max(-phys.rampMwPerSec, std::min(phys.rampMwPerSec, change));
            state.power += change;
            const double measured = state.power + 0.001 * p.nominalMw * Noise(stream + 1, t);
            total += measured;

            // What a sound unit would give by now: the required power through the allowed lag. A unit is
            // short when it gives less than 80 % of that and of the required power itself (a governor
            // faster than the allowed lag may withdraw its answer as fast as the frequency comes back).
            state.expected += (required - state.expected) * reference;
            double need = 0;
            if (required * state.expected > 0)
                need = std::fabs(required) < std::fabs(state.expected) ? required : state.expected;
            int32_t flags = 0;
            if (inEpisode_ && std::fabs(need) > 0.01 * p.nominalMw && (state.power - base) / need < 0.8) {
                flags = kViolationBit;
                ++state.violationSeconds;
            }
            const double calc = inEpisode_ ? base + required : 0.0;
            out->push_back({spec.powerId, double(t), measured, flags});
            out->push_back({spec.calcId, double(t), calc, flags});
            if (!stepped_ || t % 3600 == 0)
                out->push_back({spec.breakerId, double(t), 1.0, 0});

            state.history.push_back({t, stationHz, measured});
            while (!state.history.empty() && state.history.front().t < t - kHistorySeconds)
                state.history.pop_front();
            if (episodeEnds) {
                EpisodeReport report;
                report.station = int(s);
                report.unit = int(u);
                report.start = episodeStart_;
                report.end = t;
                report.violationSeconds = state.violationSeconds;
                report.worstDeviationHz = worstDeviation_;
                ended_.push_back(report);
            }
        }
        out->push_back({station.totalPowerId, double(t), total, 0});
    }
    if (episodeEnds)
        inEpisode_ = false;
    stepped_ = true;
}

std::vector<UnitSecond> GridModel::History(int station, int unit, int64_t from, int64_t to) const {
    std::vector<UnitSecond> result;
    if (station < 0 || size_t(station) >= units_.size() || unit < 0 || size_t(unit) >= units_[station].size())
        return result;
    for (const UnitSecond &second : units_[station][unit].history) {
        if (second.t >= from && second.t <= to)
            result.push_back(second);
    }
    return result;
}

} // namespace stand
