// Statistics of a frequency series at 1 s, as they are quoted for a measured day of a real grid.
#pragma once

#include <vector>

namespace stand {

struct FrequencyStatistics {
    double mean = 0;
    double sd = 0;
    double stepSd = 0;  // of the 1-second change
    double stepMax = 0; // largest 1-second change
    double acf1 = 0, acf60 = 0, acf300 = 0;
    double beyond75 = 0; // share of seconds beyond ±75 mHz
    double beyond50 = 0; // share of seconds beyond ±50 mHz
};

FrequencyStatistics ComputeFrequencyStatistics(const std::vector<double> &hz);

} // namespace stand
