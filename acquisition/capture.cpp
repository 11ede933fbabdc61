#include "capture.h"

#include <QtGlobal>
#include <cmath>

#include "units.h"

namespace ACQ {

CaptureJudge::CaptureJudge(CaptureRule rule) : rule_(rule) {
    rule_.count = qBound(1, rule_.count, 100);
    if (!(rule_.tolerance >= 0)) rule_.tolerance = 0;
}

bool CaptureJudge::ProbesLifted(const QString& resistance) {
    return GRADING::IsOverRange(resistance) || GRADING::IsNoMeasurement(resistance);
}

bool CaptureJudge::Agree(const QStringList& reference, const QStringList& reading, double tolerance) {
    for (int i = 0; i < 2; ++i) {
        const QString a = reference.value(i), b = reading.value(i);
        const auto x = GRADING::InstrumentNumber(a), y = GRADING::InstrumentNumber(b);
        if (x && y) {
            // Against the streak's first reading, so a slow drift cannot creep through.
            if (std::fabs(*y - *x) > tolerance * std::fabs(*x)) return false;
        } else if (x || y || a.trimmed() != b.trimmed()) {
            return false;
        }
    }
    return true;
}

CaptureJudge::Step CaptureJudge::Feed(const QString& resistance, const QString& voltage) {
    if (ProbesLifted(resistance)) {
        holding_ = false;
        streak_ = 0;
        return Step::Lifted;
    }
    if (holding_) return Step::Holding;
    const QStringList reading{resistance, voltage};
    if (!GRADING::InstrumentNumber(resistance)) {
        // An answer that is no reading starts the count again.
        streak_ = 0;
        return Step::Settling;
    }
    if (streak_ > 0 && Agree(first_, reading, rule_.tolerance)) {
        ++streak_;
    } else {
        first_ = reading;
        streak_ = 1;
    }
    return streak_ >= rule_.count ? Step::Take : Step::Settling;
}

}  // namespace ACQ
