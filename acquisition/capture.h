#pragma once
// Hands-free capture: probes held by hand or in a fixture are read without
// pause, and a reading is taken once it has stopped moving. The judge only
// looks at readings; the loop that feeds it is LoadRun::CaptureLoop.
#include <QString>
#include <QStringList>

namespace ACQ {

struct CaptureRule {
    int count = 3;            // consecutive readings that must agree (1..100)
    double tolerance = 0.01;  // allowed difference, a fraction of the reading
};

class CaptureJudge {
public:
    enum class Step {
        Lifted,    // no cell under the probes (over range, no measurement)
        Settling,  // agreeing readings so far: Agreeing() of Count()
        Take,      // the reading just fed is the settled one: take it
        Holding,   // taken (or declined): nothing more until the probes are lifted
    };
    explicit CaptureJudge(CaptureRule rule);
    // `resistance` and `voltage` as the instrument sent them (voltage empty
    // in resistance-only mode).
    Step Feed(const QString& resistance, const QString& voltage);
    // After Take, or to decline the settled cell: wait for the lift.
    void Hold() { holding_ = true; streak_ = 0; }
    int Agreeing() const { return streak_; }
    int Count() const { return rule_.count; }

    // Both fields' numbers within the tolerance of the reference's; a field
    // that is no number must match its text.
    static bool Agree(const QStringList& reference, const QStringList& reading, double tolerance);
    static bool ProbesLifted(const QString& resistance);

private:
    CaptureRule rule_;
    QStringList first_;   // the first reading of the current streak
    int streak_ = 0;
    bool holding_ = false;
};

}  // namespace ACQ
