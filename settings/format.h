#pragma once
// Display forms of reading fields. Both rewrite the caller's string in place.
#include <QString>

namespace SETTING {
void FormatResistance(QString& text);
void FormatVoltage(QString& text);
}  // namespace SETTING
