#include "stand/grid_model.h"

#include <algorithm>
#include <cmath>

namespace stand {
namespace {

// Quiet-grid constants tuned against a measured day of Continental Europe frequency at 1 s.
constexpr double kMeanOffsetHz = 0.0025;
constexpr double kSlowTau = 230.0;       // s, gives the autocorrelation at 60 s and 300 s
constexpr double kSlowSigma = 0.0165;    // Hz
constexpr double kSmoothTau = 0.5;       // s, keeps the 1-second change small
constexpr double kHourKickSigma = 0.039; // Hz, schedule changes every quarter of an hour
constexpr double kMeterSigma = 0.0003;   // Hz, station meter noise
constexpr double kDeadBandHz = 0.075;
constexpr double kUnitLagTau = 10.0; // s, 95 % of the answer after about 30 s
constexpr int kEpisodeTail = 60;     // s inside the band that end an episode
constexpr int kHistorySeconds = 900;

uint64_t SplitMix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

enum Stream : uint64_t {
    kSlowStream = 1,
    kKickStream,
    kDipStream,
    kDipPhaseStream,
    kMeterStream = 100,
    kUnitStream = 1000
};

} // namespace

GridModel::GridModel(DemoLayout layout, uint64_t seed, int disturbEverySec)
    : layout_(std::move(layout)), seed_(seed), disturbEverySec_(disturbEverySec) {}

double GridModel::Uniform(uint64_t stream, int64_t t) const {
    const uint64_t h = SplitMix(SplitMix(seed_ * 0x100000001B3ull + stream) ^ uint64_t(t));
    return (double(h >> 11) + 0.5) * (1.0 / 9007199254740992.0);
}

double GridModel::Noise(uint64_t stream, int64_t t) const {
    const double u1 = Uniform(stream * 2, t);
    const double u2 = Uniform(stream * 2 + 1, t);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
}

double GridModel::Disturbance(int64_t t) const {
    if (disturbEverySec_ <= 0)
        return 0;
    const int64_t period = disturbEverySec_;
    const int64_t phase = int64_t(Uniform(kDipPhaseStream, 0) * double(period));
    const int64_t k = (t - phase) >= 0 ? (t - phase) / period : (t - phase - period + 1) / period;
    const int64_t start = k * period + phase;
    const double amplitude = 0.15 + 0.10 * Uniform(kDipStream, start);
    const double dt = double(t - start);
    double shape;
    if (dt < 4)
        shape = dt / 4.0;
    else if (dt < 50)
        shape = 1.0; // lost generation, until reserves take over
    else
        shape = std::exp(-(dt - 50.0) / 60.0);
    return -amplitude * shape;
}

void GridModel::Reset(int64_t t0) {
    slow_ = kSlowSigma * Noise(kSlowStream, t0 - 1);
    smooth_ = slow_;
    inEpisode_ = false;
    worstDeviation_ = 0;
    units_.assign(layout_.stations.size(), {});
    for (size_t s = 0; s < layout_.stations.size(); ++s) {
        for (const UnitSpec &spec : layout_.stations[s].units) {
            UnitState state;
            state.power = spec.nominalMw * spec.loadShare;
            state.performance = spec.performance;
            units_[s].push_back(state);
        }
    }
    stepped_ = false;
    gridHz_ = kNominalHz + kMeanOffsetHz + smooth_;
}

void GridModel::Step(int64_t t, std::vector<Sample> *out) {
    ended_.clear();
    const double a = std::exp(-1.0 / kSlowTau);
    slow_ = a * slow_ + std::sqrt(1 - a * a) * kSlowSigma * Noise(kSlowStream, t);
    // Schedule changes every quarter of an hour push the frequency over about half a minute.
    const int64_t intoQuarter = ((t % 900) + 900) % 900;
    if (intoQuarter < 30)
        slow_ += kHourKickSigma * Noise(kKickStream, t - intoQuarter) / 30.0;
    const double b = std::exp(-1.0 / kSmoothTau);
    smooth_ = b * smooth_ + (1 - b) * slow_;
    gridHz_ = kNominalHz + kMeanOffsetHz + smooth_ + Disturbance(t);

    const double deviation = gridHz_ - kNominalHz;
    const bool outside = std::fabs(deviation) > kDeadBandHz;
    bool episodeEnds = false;
    if (outside) {
        if (!inEpisode_) {
            inEpisode_ = true;
            episodeStart_ = t;
            worstDeviation_ = 0;
            for (size_t s = 0; s < units_.size(); ++s) {
                for (size_t u = 0; u < units_[s].size(); ++u) {
                    UnitState &state = units_[s][u];
                    state.violationSeconds = 0;
                    state.performance =
                        layout_.stations[s].units[u].performance * (0.9 + 0.2 * Uniform(kUnitStream + 17 * s + u, t));
                }
            }
        }
        lastOutside_ = t;
        if (std::fabs(deviation) > std::fabs(worstDeviation_))
            worstDeviation_ = deviation;
    } else if (inEpisode_ && t - lastOutside_ >= kEpisodeTail) {
        episodeEnds = true;
    }

    const double decay = 1 - std::exp(-1.0 / kUnitLagTau);
    const double driftA = std::exp(-1.0 / 1800.0);
    for (size_t s = 0; s < layout_.stations.size(); ++s) {
        const StationSpec &station = layout_.stations[s];
        const double stationHz = gridHz_ + kMeterSigma * Noise(kMeterStream + s, t);
        out->push_back({station.freqId, double(t), stationHz, 0});
        double total = 0;
        for (size_t u = 0; u < station.units.size(); ++u) {
            const UnitSpec &spec = station.units[u];
            UnitState &state = units_[s][u];
            const uint64_t stream = kUnitStream + 1000 * (s + 1) + 4 * u;
            state.drift =
                driftA * state.drift + std::sqrt(1 - driftA * driftA) * 0.01 * spec.nominalMw * Noise(stream, t);
            const double base = spec.nominalMw * spec.loadShare + state.drift;
            double effective = 0;
            if (deviation > spec.deadBandHz)
                effective = deviation - spec.deadBandHz;
            else if (deviation < -spec.deadBandHz)
                effective = deviation + spec.deadBandHz;
            double required = -(effective / kNominalHz) * (100.0 / spec.droopPercent) * spec.nominalMw;
            required = std::max(-0.1 * spec.nominalMw, std::min(0.1 * spec.nominalMw, required));
            const double target = base + state.performance * required;
            state.power += (target - state.power) * decay;
            const double measured = state.power + 0.001 * spec.nominalMw * Noise(stream + 1, t);
            total += measured;

            // What a sound unit would give by now: the required power through the allowed lag.
            state.expected += (required - state.expected) * decay;
            int32_t flags = 0;
            if (inEpisode_ && std::fabs(state.expected) > 0.01 * spec.nominalMw &&
                (state.power - base) / state.expected < 0.8) {
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
