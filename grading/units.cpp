#include "units.h"

#include "format.h"

#include <QByteArray>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>
#include <locale.h>

namespace GRADING {

namespace {

int prefixExponent(QChar c, bool& known) {
    known = true;
    switch (c.unicode()) {
    case 'p': return -12;
    case 'n': return -9;
    case 'u':
    case 0x00B5:   // micro sign
    case 0x03BC:   // Greek small mu, which some keyboards give instead
        return -6;
    case 'm': return -3;
    case 'k': return 3;
    case 'M': return 6;
    case 'G': return 9;
    default: known = false; return 0;
    }
}

const char* prefixFor(int exponent) {
    switch (exponent) {
    case -12: return "p";
    case -9: return "n";
    case -6: return "u";
    case -3: return "m";
    case 3: return "k";
    case 6: return "M";
    case 9: return "G";
    default: return "";
    }
}

QString body(const QString& field) {
    const QString t = field.trimmed();
    if (t.startsWith(QLatin1Char('+')) || t.startsWith(QLatin1Char('-'))) return t.mid(1);
    return t;
}

}  // namespace

std::optional<double> ParseValue(const QString& text) {
    const QString t = text.trimmed();
    const qsizetype len = SETTING::DecimalLength(t);
    if (len == 0) return std::nullopt;
    const QString rest = t.mid(len).trimmed();
    int exponent = 0;
    if (!rest.isEmpty()) {
        bool known = false;
        if (rest.size() != 1) return std::nullopt;
        exponent = prefixExponent(rest[0], known);
        if (!known) return std::nullopt;
    }
    // The prefix goes into the exponent of the text, so "18.5m" is the double
    // nearest to 0.0185, the same as "18.50E-3" from the instrument.
    QByteArray number = t.left(len).toLatin1();
    if (exponent != 0) {
        long long e = 0;
        const qsizetype ePos = number.indexOf('e') >= 0 ? number.indexOf('e') : number.indexOf('E');
        if (ePos >= 0) {
            e = number.mid(ePos + 1).toLongLong();
            number.truncate(ePos);
        }
        number += 'e' + QByteArray::number(e + exponent);
    }
    const double d = SETTING::CDecimal(number);
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

QString FormatValue(double value) {
    if (!std::isfinite(value)) return QString();
    if (value == 0) return QStringLiteral("0");
    // Shortest digits that read back exactly, e.g. "1.85e-02".
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
    const std::string sci(buf, res.ptr);
    const auto ePos = sci.find('e');
    std::string digits = sci.substr(0, ePos);
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    const int e10 = std::stoi(sci.substr(ePos + 1));
    // value = 0.d1d2d3... * 10^(e10 + 1); pick the prefix's power of 1000.
    int p = int(std::floor(double(e10) / 3.0)) * 3;
    p = std::clamp(p, -12, 9);
    const int pointAt = e10 - p + 1;   // digits before the point
    std::string out;
    if (pointAt <= 0) {
        out = "0." + std::string(size_t(-pointAt), '0') + digits;
    } else if (size_t(pointAt) >= digits.size()) {
        out = digits + std::string(size_t(pointAt) - digits.size(), '0');
    } else {
        out = digits.substr(0, size_t(pointAt)) + "." + digits.substr(size_t(pointAt));
    }
    if (value < 0) out.insert(out.begin(), '-');
    return QString::fromLatin1(out.c_str()) + QLatin1String(prefixFor(p));
}

bool IsOverRange(const QString& field) { return body(field) == QLatin1String("1.0000E+8"); }
bool IsNoMeasurement(const QString& field) { return body(field) == QLatin1String("1.0000E+9"); }

std::optional<double> InstrumentNumber(const QString& field) {
    if (IsOverRange(field) || IsNoMeasurement(field)) return std::nullopt;
    const QString t = field.trimmed();
    const qsizetype len = SETTING::DecimalLength(t);
    if (len == 0 || len != t.size()) return std::nullopt;
    const double d = SETTING::CDecimal(t.toLatin1());
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

}  // namespace GRADING
