#include "measure/recent_range.h"

#include <cmath>

namespace darvelon::measure {

std::pair<double, double> recentRange(const plot::ChartModel& model, double seconds) {
    const auto whole = model.dataXRange();
    const auto last = model.frameNearest(whole.second);
    if (!last) return whole;
    const auto secondsOf = [&](double x) { return *model.secondsAt(model.frameNearest(x)->sample); };
    const double from = secondsOf(whole.second) - seconds;
    // Time grows with the sample, so the first frame at or after `from` splits the samples in two.
    double lo = std::floor(whole.first);
    double hi = double(last->sample);
    if (secondsOf(lo) >= from) return whole;
    while (hi - lo > 1) {
        const double mid = std::floor((lo + hi) / 2);
        (secondsOf(mid) >= from ? hi : lo) = mid;
    }
    return {double(model.frameNearest(hi)->sample), whole.second};
}

}  // namespace darvelon::measure
