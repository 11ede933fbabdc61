#pragma once
// Numbers as an operator types them (with the display's unit prefixes) and as
// the instrument sends them. Neither depends on the locale.
#include <QString>

#include <optional>

namespace GRADING {

// "18.5m", "2.5k", "500u" (or "500µ"), "3.65", "1.2e-3", "-0.5": a decimal
// number, an optional exponent and an optional prefix p n u m k M G, blanks
// around allowed. Empty when the text is anything else.
std::optional<double> ParseValue(const QString& text);

// The shortest text ParseValue reads back as exactly `value`, with the prefix
// that puts one to three digits before the point: 0.0185 -> "18.5m".
QString FormatValue(double value);

// An instrument field ("51.10E-3", "+3.7010E+0") as a number; empty for the
// special values (over range, no measurement) and for text that is no number.
std::optional<double> InstrumentNumber(const QString& field);

// The instrument's special values, with or without a sign.
bool IsOverRange(const QString& field);
bool IsNoMeasurement(const QString& field);

}  // namespace GRADING
