#include "format.h"

#include <clocale>
#include <cstdlib>
#include <locale.h>

namespace SETTING {

namespace {
bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
}  // namespace

qsizetype DecimalLength(const QString& s) {
    qsizetype i = 0;
    const qsizetype n = s.size();
    if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(s[i])) ++i, ++digits;
    if (i < n && s[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < n && (s[i] == QLatin1Char('E') || s[i] == QLatin1Char('e'))) {
        qsizetype j = i + 1;
        if (j < n && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-'))) ++j;
        if (j < n && isDigit(s[j])) {
            while (j < n && isDigit(s[j])) ++j;
            i = j;
        }
    }
    return i;
}

double CDecimal(const QByteArray& text) {
    static const locale_t cNumbers = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    return strtod_l(text.constData(), nullptr, cNumbers);
}


namespace {

const QString kOverflowReading = QStringLiteral("1.0000E+8");
const QString kNoReading = QStringLiteral("1.0000E+9");

// Blanks the zeros in front of a number so the label keeps its width. A zero
// right before the point stays, and the last character is never looked at,
// so "0000" keeps its final 0. The length never changes.
void blankLeadingZeros(QString& s) {
    const qsizetype n = s.size();
    for (qsizetype i = 0; i + 1 < n; ++i) {
        if (s.at(i) != QLatin1Char('0')) break;
        if (s.at(i + 1) != QLatin1Char('.')) s[i] = QLatin1Char(' ');
    }
}

}  // namespace

void FormatResistance(QString& text) {
    if (text == kOverflowReading) {
        text = QStringLiteral("  O.F  ");
        return;
    }
    if (text == kNoReading) {
        text = QStringLiteral(" ----- ");
        return;
    }
    blankLeadingZeros(text);
    const QString exponent = text.right(3);
    QString unit;
    if (exponent == QLatin1String("E-3"))
        unit = QStringLiteral("m");
    else if (exponent == QLatin1String("E+0"))
        unit = QStringLiteral(" ");
    else if (exponent == QLatin1String("E+3"))
        unit = QStringLiteral("k");
    else
        return;   // an exponent we have no prefix for is shown as sent
    text.chop(3);
    text += unit;
}

void FormatVoltage(QString& text) {
    // Sign, body and a three-character exponent need four characters. Anything
    // shorter is no reading: it is shown as it came (an empty field leaves the
    // label blank, as after a refresh).
    if (text.size() < 4) return;
    const QChar sign = text.at(0);
    QString body = text.mid(1);
    if (body == kOverflowReading) {
        body = QStringLiteral(" O.F  ");
    } else if (body == kNoReading) {
        body = QStringLiteral("----- ");
    } else {
        blankLeadingZeros(body);
        body.chop(3);   // the voltage exponent is not interpreted
    }
    text = sign + body;
}

}  // namespace SETTING
