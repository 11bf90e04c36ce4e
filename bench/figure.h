// One line per figure for scripts/bench.sh: FIGURE|figure|value|target|limit or peer.
#pragma once

#include <cstdio>

inline void Figure(const char *figure, double value, const char *unit, const char *target = "",
                   const char *limit = "") {
    std::printf("FIGURE|%s|%.2f %s|%s|%s\n", figure, value, unit, target, limit);
    std::fflush(stdout);
}
