#pragma once
// Capability figures of a run: how readings spread over the bins, the yield,
// and Cp/Cpk of resistance and voltage against the profile's limits.
#include <QList>

#include <optional>

#include "profile.h"

namespace GRADING {

// Running mean and spread (Welford): stable for long runs of close values,
// where summing squares would cancel away every digit.
class RunningStats {
public:
    void add(double x);
    int count() const { return n_; }
    std::optional<double> mean() const;
    std::optional<double> stddev() const;   // sample (n - 1); needs two values
private:
    int n_ = 0;
    double mean_ = 0;
    double m2_ = 0;
};

struct ProcessFigures {
    int n = 0;
    std::optional<double> mean;
    std::optional<double> stddev;
    std::optional<double> cp;    // both limits and a spread needed
    std::optional<double> cpk;   // one limit at least and a spread
};

// Cp and Cpk of a sample against limits (either side may be open).
ProcessFigures Figures(const RunningStats& stats, const Range& limits);

class Capability {
public:
    explicit Capability(const Profile& profile);
    // One graded reading; its values only where they are numbers (not over
    // range, not no measurement).
    void add(const Grade& grade, std::optional<double> resistance, std::optional<double> voltage);

    int graded() const { return graded_; }
    int count(int bin) const { return counts_.value(bin); }
    int rejects() const { return rejects_; }
    std::optional<double> share(int bin) const;   // of all graded readings
    std::optional<double> yield() const;          // accepted / graded
    ProcessFigures resistance() const { return Figures(r_, limitsR_); }
    ProcessFigures voltage() const { return Figures(v_, limitsV_); }

private:
    QList<int> counts_;
    int graded_ = 0;
    int rejects_ = 0;
    RunningStats r_, v_;
    Range limitsR_, limitsV_;
};

}  // namespace GRADING
