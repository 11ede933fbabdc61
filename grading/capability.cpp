#include "capability.h"

#include <algorithm>
#include <cmath>

namespace GRADING {

void RunningStats::add(double x) {
    ++n_;
    const double delta = x - mean_;
    mean_ += delta / n_;
    m2_ += delta * (x - mean_);
}

std::optional<double> RunningStats::mean() const {
    if (n_ < 1) return std::nullopt;
    return mean_;
}

std::optional<double> RunningStats::stddev() const {
    if (n_ < 2) return std::nullopt;
    return std::sqrt(std::max(0.0, m2_ / (n_ - 1)));
}

ProcessFigures Figures(const RunningStats& stats, const Range& limits) {
    ProcessFigures f;
    f.n = stats.count();
    f.mean = stats.mean();
    f.stddev = stats.stddev();
    if (!f.stddev || !(*f.stddev > 0)) return f;
    const double s = *f.stddev, mu = *f.mean;
    if (limits.low && limits.high) f.cp = (*limits.high - *limits.low) / (6 * s);
    std::optional<double> upper, lower;
    if (limits.high) upper = (*limits.high - mu) / (3 * s);
    if (limits.low) lower = (mu - *limits.low) / (3 * s);
    if (upper && lower)
        f.cpk = std::min(*upper, *lower);
    else if (upper)
        f.cpk = upper;
    else if (lower)
        f.cpk = lower;
    return f;
}

Capability::Capability(const Profile& profile)
    : counts_(profile.bins.size(), 0), limitsR_(profile.resistanceLimits), limitsV_(profile.voltageLimits) {}

void Capability::add(const Grade& grade, std::optional<double> resistance, std::optional<double> voltage) {
    ++graded_;
    if (grade.accepted && grade.bin >= 0 && grade.bin < counts_.size())
        ++counts_[grade.bin];
    else
        ++rejects_;
    if (resistance && std::isfinite(*resistance)) r_.add(*resistance);
    if (voltage && std::isfinite(*voltage)) v_.add(*voltage);
}

std::optional<double> Capability::share(int bin) const {
    if (graded_ == 0) return std::nullopt;
    return double(count(bin)) / graded_;
}

std::optional<double> Capability::yield() const {
    if (graded_ == 0) return std::nullopt;
    return double(graded_ - rejects_) / graded_;
}

}  // namespace GRADING
