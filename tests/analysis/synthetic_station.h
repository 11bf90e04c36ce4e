// Series of a station with known physics: frequency steps and units that answer through a dead time and
// a first-order lag, with the calculated power a droop governor asks for. For tests and benchmarks.
#pragma once

#include <cmath>

#include "analysis/episode.h"

struct SyntheticUnit {
    double nominal = 200; // MW
    double droop = 5;     // %
    double deadTime = 1;  // s
    double tau = 5;       // s
    double base = 150;    // MW before any excursion
    bool withCalc = true;
    double maxPower = NAN; // MW, from the passport; NaN: not set
    double minPower = NAN;
    QString profile = QString(); // the regime profile named in the passport
};

struct SyntheticStep {
    double start;     // seconds after the series' first sample
    double length;    // seconds beyond the band
    double deviation; // Hz, signed
};

class SyntheticStation {
public:
    double t0 = 1700000000; // first sample
    double seconds = 600;
    double deadBand = 0.075;
    QVector<SyntheticStep> steps;
    QVector<SyntheticUnit> units;

    double Frequency(double t) const {
        for (const SyntheticStep &s : steps)
            if (t >= t0 + s.start && t < t0 + s.start + s.length)
                return 50.0 + s.deviation;
        return 50.0;
    }
    // What a droop governor asks of the unit at frequency f.
    double Required(const SyntheticUnit &u, double f) const {
        const double df = f - 50.0;
        const double beyond = std::fabs(df) > deadBand ? df - std::copysign(deadBand, df) : 0;
        return -(beyond / 50.0) * (100.0 / u.droop) * u.nominal;
    }
    // Answer of the unit: the latest step's requirement through dead time and lag (steps far apart).
    double Answer(const SyntheticUnit &u, double t) const {
        double answer = 0;
        for (const SyntheticStep &s : steps) {
            const double need = Required(u, 50.0 + s.deviation);
            const double on = t0 + s.start + u.deadTime, off = t0 + s.start + s.length + u.deadTime;
            if (t >= on)
                answer = need * (1 - std::exp(-(std::min(t, off) - on) / u.tau));
            if (t >= off)
                answer *= std::exp(-(t - off) / u.tau);
        }
        return answer;
    }
    bool InEpisode(double t) const {
        for (const SyntheticStep &s : steps)
            if (t >= t0 + s.start && t < t0 + s.start + s.length + 60)
                return true;
        return false;
    }

    StationSeries Make() const {
        StationSeries station;
        station.name = QStringLiteral("Станция");
        station.hasFrequency = true;
        station.spanFrom = t0;
        station.spanTo = t0 + seconds - 1;
        for (double t = t0; t < t0 + seconds; t += 1)
            station.frequency.insert(t, MeasurePoint{t, Frequency(t), 0});
        int n = 0;
        for (const SyntheticUnit &u : units) {
            UnitSeries series;
            series.name = QStringLiteral("Блок %1").arg(++n);
            series.hasPower = true;
            series.hasCalc = u.withCalc;
            series.nominal = u.nominal;
            series.droop = u.droop;
            series.maxPower = u.maxPower;
            series.minPower = u.minPower;
            series.profile = u.profile;
            for (double t = t0; t < t0 + seconds; t += 1) {
                series.power.insert(t, MeasurePoint{t, u.base + Answer(u, t), 0});
                if (u.withCalc)
                    series.calc.insert(
                        t, MeasurePoint{t, InEpisode(t) ? u.base + Required(u, Frequency(t)) : std::nan(""), 0});
            }
            station.units.append(series);
        }
        return station;
    }
};
