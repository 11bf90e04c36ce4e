#include "stand/frequency_statistics.h"

#include <algorithm>
#include <cmath>

namespace stand {

FrequencyStatistics ComputeFrequencyStatistics(const std::vector<double> &f) {
    FrequencyStatistics s;
    if (f.size() < 2)
        return s;
    const double n = double(f.size());
    for (double v : f)
        s.mean += v / n;
    double var = 0, stepVar = 0;
    int beyond75 = 0, beyond50 = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        var += (f[i] - s.mean) * (f[i] - s.mean) / n;
        beyond75 += std::fabs(f[i] - 50.0) > 0.075 ? 1 : 0;
        beyond50 += std::fabs(f[i] - 50.0) > 0.050 ? 1 : 0;
        if (i > 0) {
            const double d = f[i] - f[i - 1];
            stepVar += d * d / (n - 1);
            s.stepMax = std::max(s.stepMax, std::fabs(d));
        }
    }
    auto acf = [&](size_t lag) {
        if (lag >= f.size() || var <= 0)
            return 0.0;
        double c = 0;
        for (size_t i = lag; i < f.size(); ++i)
            c += (f[i] - s.mean) * (f[i - lag] - s.mean);
        return c / (n - double(lag)) / var;
    };
    s.sd = std::sqrt(var);
    s.stepSd = std::sqrt(stepVar);
    s.acf1 = acf(1);
    s.acf60 = acf(60);
    s.acf300 = acf(300);
    s.beyond75 = beyond75 / n;
    s.beyond50 = beyond50 / n;
    return s;
}

} // namespace stand
