#include "statistics.h"

#include <cmath>
#include <limits>

#include "readings.h"

namespace TREND {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

Field ClassifyField(const QString& text) {
    bool ok = false;
    // toDouble reads the C locale whatever the desktop's language, and skips blanks.
    const double v = text.toDouble(&ok);
    if (!ok) return {text.trimmed().isEmpty() ? FieldKind::Empty : FieldKind::NotNumber, 0};
    if (!std::isfinite(v)) return {FieldKind::NotNumber, 0};
    // "1.0000E+8" and "1.0000E+9" (with a sign for a voltage).
    if (std::fabs(v) == 1e8) return {FieldKind::OverRange, 0};
    if (std::fabs(v) == 1e9) return {FieldKind::NoMeasurement, 0};
    return {FieldKind::Number, v};
}

Judgement JudgementOf(const QString& text) {
    const QString t = text.size() == 2 ? text : text.trimmed();
    if (t == QLatin1String("IN")) return JudgeIn;
    if (t == QLatin1String("HI")) return JudgeHi;
    if (t == QLatin1String("LO")) return JudgeLo;
    return JudgeOther;
}

void RunningStats::add(double v) {
    ++n_;
    if (n_ == 1) {
        mean_ = min_ = max_ = v;
        m2_ = 0;
        return;
    }
    const double delta = v - mean_;
    mean_ += delta / double(n_);
    m2_ += delta * (v - mean_);
    if (v < min_) min_ = v;
    if (v > max_) max_ = v;
}

double RunningStats::mean() const { return n_ ? mean_ : kNaN; }
double RunningStats::stdDev() const { return n_ >= 2 ? std::sqrt(qMax(0.0, m2_) / double(n_ - 1)) : kNaN; }
double RunningStats::min() const { return n_ ? min_ : kNaN; }
double RunningStats::max() const { return n_ ? max_ : kNaN; }

std::optional<double> Quantity::add(const QString& text) {
    last = text;
    const Field f = ClassifyField(text);
    switch (f.kind) {
    case FieldKind::Number:
        break;
    case FieldKind::OverRange:
        ++overRange;
        return std::nullopt;
    case FieldKind::NoMeasurement:
        ++noMeasurement;
        return std::nullopt;
    case FieldKind::NotNumber:
    case FieldKind::Empty:
        ++notNumber;
        return std::nullopt;
    }
    const bool first = stats.count() == 0;
    if (first || f.value < stats.min()) minText = text;
    if (first || f.value > stats.max()) maxText = text;
    stats.add(f.value);
    lastNumber = text;
    return f.value;
}

ActivityStats::Added ActivityStats::add(const READINGS::Reading& reading) {
    Added out;
    ++readings;
    out.resistance = resistance.add(reading.fields.value(0));
    if (reading.mode == 1) out.voltage = voltage.add(reading.fields.value(1));
    if (reading.comp != 0) {
        out.judgement = JudgementOf(reading.fields.value(2));
        out.judged = true;
        ++judgements[out.judgement];
    }
    return out;
}

QString ShapedLike(double value, const QString& reading) {
    if (!std::isfinite(value)) return QString();
    const QString r = reading.trimmed();
    qsizetype i = 0;
    const bool signed_ = i < r.size() && (r.at(i) == QLatin1Char('+') || r.at(i) == QLatin1Char('-'));
    if (signed_) ++i;
    int intDigits = 0, decimals = 0;
    while (i < r.size() && r.at(i).isDigit()) ++intDigits, ++i;
    const bool point = i < r.size() && r.at(i) == QLatin1Char('.');
    if (point) ++i;
    while (i < r.size() && r.at(i).isDigit()) ++decimals, ++i;
    int exponent = 0;
    QString exponentText;
    if (i < r.size() && (r.at(i) == QLatin1Char('E') || r.at(i) == QLatin1Char('e'))) {
        exponentText = r.mid(i);
        bool ok = false;
        exponent = exponentText.mid(1).toInt(&ok);
        if (!ok) exponent = 0, exponentText.clear();
    }
    if (exponentText.isEmpty()) exponentText = QStringLiteral("E+0");
    const double mantissa = value / std::pow(10.0, exponent);
    const int width = qMax(1, intDigits) + (decimals > 0 ? decimals + 1 : 0);
    QString digits = QString::asprintf("%0*.*f", width, decimals, std::fabs(mantissa));
    QString sign;
    if (signed_)
        sign = mantissa < 0 ? QStringLiteral("-") : QStringLiteral("+");
    else if (mantissa < 0)
        sign = QStringLiteral("-");
    return sign + digits + exponentText;
}

}  // namespace TREND
