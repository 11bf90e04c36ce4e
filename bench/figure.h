// One line per figure for scripts/bench.sh: FIGURE|figure|value|target|limit or peer.
#pragma once

#include <cstdio>

inline void Figure(const char *figure, double value, const char *unit, const char *target = "",
                   const char *limit = "") {
    std::printf("FIGURE|%s|%.2f %s|%s|%s\n", figure, value, unit, target, limit);
    std::fflush(stdout);
}

// A figure beside its baseline measured in the same run, with the ratio of the two: a busy machine
// moves both, so the ratio is what to compare between runs.
inline void FigureVs(const char *figure, double value, const char *unit, const char *target, const char *baseline,
                     double baselineValue) {
    char limit[256];
    std::snprintf(limit, sizeof limit, "%s %.2f %s, ratio %.2f x", baseline, baselineValue, unit,
                  baselineValue > 0 ? value / baselineValue : 0.0);
    Figure(figure, value, unit, target, limit);
}
