#pragma once
// Grading profiles: ordered bins a reading is sorted into, and the limits the
// capability figures of a run are measured against.
#include <QList>
#include <QString>

#include <optional>

namespace GRADING {

// A closed interval; an empty side is open.
struct Range {
    std::optional<double> low;
    std::optional<double> high;
    bool contains(double v) const { return (!low || v >= *low) && (!high || v <= *high); }
    bool covers(const Range& other) const;   // every value of `other` is in this one
    bool operator==(const Range&) const = default;
};

struct Bin {
    QString name;
    QString colour;   // "#rrggbb", or empty for none
    Range resistance;   // ohms
    Range voltage;      // volts; not applied in resistance-only mode
    bool operator==(const Bin&) const = default;
};

struct Profile {
    QString name;   // may be empty
    QList<Bin> bins;
    Range resistanceLimits;   // for Cp/Cpk
    Range voltageLimits;
    bool operator==(const Profile&) const = default;
};

inline constexpr char kRejectName[] = "Reject";
inline constexpr char kRejectColour[] = "#c00000";

struct Grade {
    int bin = -1;   // index into Profile::bins; -1 for a reject
    QString name;
    QString colour;
    bool accepted = false;
    QString reason;   // why a reading could not be graded; empty when accepted or when it fits no bin
};

// Grades one reading as the instrument sent it. voltage is ignored when
// resistanceOnly. The first bin that holds the reading wins, edges included.
Grade GradeReading(const Profile& profile, const QString& resistance, const QString& voltage,
                   bool resistanceOnly);

// What validation found wrong, and where.
struct Problem {
    enum class Where { Profile, Limits, Bin };
    enum class Field { None, Name, Colour, ResistanceLow, ResistanceHigh, VoltageLow, VoltageHigh };
    Where where = Where::Profile;
    int bin = -1;   // with Where::Bin
    Field field = Field::None;
    QString text;   // names the bin and the field
};

// Every problem of the profile, in the order of the bins. The file reader
// applies the same checks.
QList<Problem> Validate(const Profile& profile);

// The checks of one piece, for a reader that stops at the first: bin `index`
// on its own and against the bins before it; the limits; the whole (no bins).
std::optional<Problem> CheckBin(const Profile& profile, int index);
std::optional<Problem> CheckLimits(const Profile& profile);
std::optional<Problem> CheckProfileName(const Profile& profile);
std::optional<Problem> CheckHasBins(const Profile& profile);

// "bin 2 (B)" as the messages name a bin.
QString BinLabel(const Profile& profile, int index);

}  // namespace GRADING
