#pragma once
// Statistics of one activity, kept as running sums: a run of any length
// costs the same memory, and each reading a few operations.
#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>

namespace READINGS {
struct Reading;
}

namespace TREND {

// What a reading field holds. The instrument's two special values are told
// apart from numbers; they, empty fields and any other text are gaps.
enum class FieldKind { Number, OverRange, NoMeasurement, NotNumber, Empty };
struct Field {
    FieldKind kind = FieldKind::Empty;
    double value = 0;   // only for Number
};
Field ClassifyField(const QString& text);

// Comparator results as the instrument sends them.
enum Judgement { JudgeIn = 0, JudgeHi = 1, JudgeLo = 2, JudgeOther = 3 };
Judgement JudgementOf(const QString& text);

// Count, mean, spread and range of a stream of numbers (Welford's sums, so a
// long run of close values keeps its precision).
class RunningStats {
public:
    void clear() { *this = RunningStats(); }
    void add(double v);
    qint64 count() const { return n_; }
    double mean() const;     // NaN while empty
    double stdDev() const;   // sample deviation; NaN below two values
    double min() const;      // NaN while empty
    double max() const;

private:
    qint64 n_ = 0;
    double mean_ = 0;
    double m2_ = 0;
    double min_ = 0;
    double max_ = 0;
};

// One quantity (resistance or voltage) of an activity.
struct Quantity {
    RunningStats stats;
    qint64 overRange = 0;
    qint64 noMeasurement = 0;
    qint64 notNumber = 0;   // empty fields and texts that are no number
    QString last;           // the last field as received
    QString lastNumber;     // the last field that was a number: the shape of computed values
    QString minText, maxText;
    // Counts the field; its value, or nothing for a gap.
    std::optional<double> add(const QString& text);
    qint64 gaps() const { return overRange + noMeasurement + notNumber; }
};

class ActivityStats {
public:
    void clear() { *this = ActivityStats(); }
    // Counts a reading. Voltage only counts when the reading carries it
    // (mode 1), the comparator only when it is on.
    struct Added {
        std::optional<double> resistance, voltage;
        Judgement judgement = JudgeOther;
        bool judged = false;
    };
    Added add(const READINGS::Reading& reading);

    qint64 readings = 0;
    Quantity resistance;
    Quantity voltage;
    std::array<qint64, 4> judgements{};   // by Judgement
};

// `value` written in the shape of an instrument reading such as "016.24E-3"
// or "+03.991E+0": the same sign position, digits before and after the
// point and exponent, so the display's formatting applies to it unchanged.
QString ShapedLike(double value, const QString& reading);

}  // namespace TREND
