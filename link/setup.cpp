#include "setup.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "errors.h"
#include "format.h"

namespace SETTING {

double LeadingNumber(const QString& field) {
    qsizetype start = 0;
    while (start < field.size() && field[start] == QLatin1Char(' ')) ++start;
    const QString rest = field.mid(start);
    const qsizetype n = DecimalLength(rest);
    return n == 0 ? 0.0 : CDecimal(rest.left(n).toLatin1());
}

void ApplySetupAnswer(const QStringList& fields, InstrumentSetupRecord& setup) {
    const QString mode = fields.value(0);
    const QString speed = fields.value(1);
    setup.MeasMode = mode == QLatin1String("R") ? 0 : 1;
    if (speed == QLatin1String("FAST"))
        setup.SampSpeed = 0;
    else if (speed == QLatin1String("MIDIUM"))
        setup.SampSpeed = 1;
    else
        setup.SampSpeed = 2;

    // Nearest integer, halves to even (the default rounding mode).
    const double rounded = std::nearbyint(LeadingNumber(fields.value(2)));
    if (!(rounded >= std::numeric_limits<qint16>::min() &&
          rounded <= std::numeric_limits<qint16>::max()))
        throw OverflowError();
    setup.CompState = qint16(rounded);
}

}  // namespace SETTING
