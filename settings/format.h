#pragma once
// Display forms of reading fields. Both rewrite the caller's string in place.
#include <QString>

namespace SETTING {
// Length of the decimal number at the start of `s` (sign, digits with an
// optional point, an exponent only when digits follow it); 0 when there is
// none. Unlike strtod it takes no "inf", "nan" or hex forms.
qsizetype DecimalLength(const QString& s);
// Decimal text -> double in the C locale: Qt sets the user's locale at
// start-up, and a decimal comma there must not change what "1.5" means.
double CDecimal(const QByteArray& text);

void FormatResistance(QString& text);
void FormatVoltage(QString& text);
}  // namespace SETTING
