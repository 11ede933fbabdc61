#include "setup.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "errors.h"

namespace SETTING {

namespace {

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

}  // namespace

double LeadingNumber(const QString& field) {
    qsizetype i = 0;
    const qsizetype n = field.size();
    while (i < n && field[i] == QLatin1Char(' ')) ++i;
    const qsizetype start = i;
    if (i < n && (field[i] == QLatin1Char('+') || field[i] == QLatin1Char('-'))) ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(field[i])) ++i, ++digits;
    if (i < n && field[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(field[i])) ++i, ++digits;
    }
    if (digits == 0) return 0.0;
    // An exponent counts only when digits follow it ("1E" is just 1).
    if (i < n && (field[i] == QLatin1Char('E') || field[i] == QLatin1Char('e'))) {
        qsizetype j = i + 1;
        if (j < n && (field[j] == QLatin1Char('+') || field[j] == QLatin1Char('-'))) ++j;
        if (j < n && isDigit(field[j])) {
            while (j < n && isDigit(field[j])) ++j;
            i = j;
        }
    }
    const QByteArray text = field.mid(start, i - start).toLatin1();
    // Qt sets the user's locale at start-up; a decimal comma there must not
    // change how the instrument's "1.5" reads.
    static const locale_t cNumbers = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    return strtod_l(text.constData(), nullptr, cNumbers);
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
