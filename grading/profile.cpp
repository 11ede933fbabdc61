#include "profile.h"

#include "units.h"

namespace GRADING {

bool Range::covers(const Range& other) const {
    const bool lowOk = !low || (other.low && *low <= *other.low);
    const bool highOk = !high || (other.high && *high >= *other.high);
    return lowOk && highOk;
}

namespace {

Grade reject(const QString& reason) {
    Grade g;
    g.name = QString::fromLatin1(kRejectName);
    g.colour = QString::fromLatin1(kRejectColour);
    g.reason = reason;
    return g;
}

// Empty when the field is a number; else why it is not.
QString unusable(const QString& field) {
    if (IsOverRange(field)) return QStringLiteral("over range");
    if (IsNoMeasurement(field)) return QStringLiteral("no measurement");
    if (!InstrumentNumber(field)) return QStringLiteral("not a number");
    return QString();
}

bool isColour(const QString& c) {
    if (c.isEmpty()) return true;
    if (c.size() != 7 || c[0] != QLatin1Char('#')) return false;
    for (qsizetype i = 1; i < 7; ++i)
        if (!isxdigit(c[i].unicode()) || c[i].unicode() > 127) return false;
    return true;
}

// A name must survive a trip through the file: one line, no blanks at its ends.
QString nameFault(const QString& name) {
    if (name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\r')))
        return QStringLiteral("contains a line break");
    if (name != name.trimmed()) return QStringLiteral("starts or ends with a blank");
    return QString();
}

Problem binProblem(const Profile& p, int i, Problem::Field f, const QString& what) {
    return {Problem::Where::Bin, i, f, BinLabel(p, i) + QStringLiteral(": ") + what};
}

QString sideText(const std::optional<double>& v) { return v ? FormatValue(*v) : QStringLiteral("*"); }

// Low above high: the message names both values.
std::optional<QString> crossed(const Range& r, const char* quantity) {
    if (r.low && r.high && *r.low > *r.high)
        return QStringLiteral("%1 low %2 is above %1 high %3")
            .arg(QLatin1String(quantity), sideText(r.low), sideText(r.high));
    return std::nullopt;
}

}  // namespace

QString BinLabel(const Profile& profile, int index) {
    const QString name = index >= 0 && index < profile.bins.size() ? profile.bins[index].name : QString();
    return name.isEmpty() ? QStringLiteral("bin %1").arg(index + 1)
                          : QStringLiteral("bin %1 (%2)").arg(index + 1).arg(name);
}

Grade GradeReading(const Profile& profile, const QString& resistance, const QString& voltage,
                   bool resistanceOnly) {
    QString why = unusable(resistance);
    if (why.isEmpty() && !resistanceOnly) why = unusable(voltage);
    if (!why.isEmpty()) return reject(why);
    const double r = *InstrumentNumber(resistance);
    const double v = resistanceOnly ? 0.0 : *InstrumentNumber(voltage);
    for (int i = 0; i < profile.bins.size(); ++i) {
        const Bin& b = profile.bins[i];
        if (!b.resistance.contains(r)) continue;
        if (!resistanceOnly && !b.voltage.contains(v)) continue;
        Grade g;
        g.bin = i;
        g.name = b.name;
        g.colour = b.colour;
        g.accepted = true;
        return g;
    }
    return reject(QString());
}

std::optional<Problem> CheckProfileName(const Profile& profile) {
    const QString fault = nameFault(profile.name);
    if (!fault.isEmpty())
        return Problem{Problem::Where::Profile, -1, Problem::Field::Name, QStringLiteral("the profile name ") + fault};
    return std::nullopt;
}

std::optional<Problem> CheckBin(const Profile& p, int i) {
    const Bin& b = p.bins[i];
    using F = Problem::Field;
    if (b.name.isEmpty()) return binProblem(p, i, F::Name, QStringLiteral("has no name"));
    if (const QString fault = nameFault(b.name); !fault.isEmpty())
        return binProblem(p, i, F::Name, QStringLiteral("the name ") + fault);
    if (b.name.compare(QLatin1String(kRejectName), Qt::CaseInsensitive) == 0)
        return binProblem(p, i, F::Name,
                          QStringLiteral("the name \"%1\" is kept for readings that fit no bin")
                              .arg(QLatin1String(kRejectName)));
    for (int j = 0; j < i; ++j)
        if (p.bins[j].name.compare(b.name, Qt::CaseInsensitive) == 0)
            return binProblem(p, i, F::Name, QStringLiteral("the name is already used by bin %1").arg(j + 1));
    if (!isColour(b.colour))
        return binProblem(p, i, F::Colour,
                          QStringLiteral("colour \"%1\" is not of the form #rrggbb").arg(b.colour));
    if (auto c = crossed(b.resistance, "resistance")) return binProblem(p, i, F::ResistanceHigh, *c);
    if (auto c = crossed(b.voltage, "voltage")) return binProblem(p, i, F::VoltageHigh, *c);
    for (int j = 0; j < i; ++j) {
        const Bin& earlier = p.bins[j];
        if (earlier.resistance.covers(b.resistance) && earlier.voltage.covers(b.voltage))
            return binProblem(p, i, F::None,
                              QStringLiteral("never fits, as %1 comes first and covers all of it")
                                  .arg(BinLabel(p, j)));
    }
    return std::nullopt;
}

std::optional<Problem> CheckLimits(const Profile& p) {
    using F = Problem::Field;
    // Equal limits leave no room for a process: Cp would be 0 whatever it does.
    auto check = [](const Range& r, const char* quantity) -> std::optional<QString> {
        if (r.low && r.high && *r.low >= *r.high)
            return QStringLiteral("acceptance limits: %1 low %2 is not below %1 high %3")
                .arg(QLatin1String(quantity), sideText(r.low), sideText(r.high));
        return std::nullopt;
    };
    if (auto c = check(p.resistanceLimits, "resistance"))
        return Problem{Problem::Where::Limits, -1, F::ResistanceHigh, *c};
    if (auto c = check(p.voltageLimits, "voltage"))
        return Problem{Problem::Where::Limits, -1, F::VoltageHigh, *c};
    return std::nullopt;
}

std::optional<Problem> CheckHasBins(const Profile& p) {
    if (p.bins.isEmpty())
        return Problem{Problem::Where::Profile, -1, Problem::Field::None, QStringLiteral("the profile has no bins")};
    return std::nullopt;
}

QList<Problem> Validate(const Profile& profile) {
    QList<Problem> out;
    if (auto p = CheckProfileName(profile)) out << *p;
    if (auto p = CheckLimits(profile)) out << *p;
    for (int i = 0; i < profile.bins.size(); ++i)
        if (auto p = CheckBin(profile, i)) out << *p;
    if (auto p = CheckHasBins(profile)) out << *p;
    return out;
}

}  // namespace GRADING
