#include "dataproc/progress.h"

#include <cmath>

namespace tarn {

int ProgressPercent(int64_t done, int64_t total) {
    if (total <= 0) return 0;
    const double x = static_cast<double>(done) / static_cast<double>(total) * 100.0;
    // Round half to even explicitly, independent of the floating-point environment.
    double r = std::floor(x);
    const double frac = x - r;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    return static_cast<int>(r);
}

}  // namespace tarn
