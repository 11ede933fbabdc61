#include "format.h"

namespace SETTING {

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
