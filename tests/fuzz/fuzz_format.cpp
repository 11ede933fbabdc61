// Both reading formatters on any text: they never throw, the two special
// readings give their exact markers, a resistance with a known exponent ends
// two characters shorter (three characters become one prefix), a voltage
// loses its three exponent characters, and the only other change is the
// blanking of leading zeros.
#include <QString>

#include <cstddef>
#include <cstdint>

#include "format.h"
#include "fuzz_check.h"

namespace {

// Leading zeros become blanks, except a zero right before the point and the
// last character. Written from the rule, not from the formatter.
QString blanked(const QString& s) {
    qsizetype run = 0;
    while (run < s.size() && s[run] == QLatin1Char('0')) ++run;
    QString out = s;
    for (qsizetype i = 0; i < run && i + 1 < s.size(); ++i)
        if (s[i + 1] != QLatin1Char('.')) out[i] = QLatin1Char(' ');
    return out;
}

QString formatted(void (*format)(QString&), const QString& in) {
    QString s = in;
    try {
        format(s);
    } catch (...) {
        fuzzShow("input", in);
        fuzzFail(__FILE__, __LINE__, "formatter threw");
    }
    return s;
}

void expect(const QString& in, const QString& got, const QString& want) {
    if (got == want) return;
    fuzzShow("input", in);
    fuzzShow("got  ", got);
    fuzzShow("want ", want);
    fuzzFail(__FILE__, __LINE__, "formatted text differs");
}

void checkResistance(const QString& in) {
    const QString out = formatted(SETTING::FormatResistance, in);
    if (in == QLatin1String("1.0000E+8")) return expect(in, out, QStringLiteral("  O.F  "));
    if (in == QLatin1String("1.0000E+9")) return expect(in, out, QStringLiteral(" ----- "));

    const QString tail = in.right(3);
    const bool known = tail == QLatin1String("E-3") || tail == QLatin1String("E+0") ||
                       tail == QLatin1String("E+3");
    FUZZ_CHECK(out.size() == (known ? in.size() - 2 : in.size()));
    if (!known) return expect(in, out, blanked(in));
    const QChar prefix = tail == QLatin1String("E-3")   ? QLatin1Char('m')
                         : tail == QLatin1String("E+3") ? QLatin1Char('k')
                                                        : QLatin1Char(' ');
    expect(in, out, blanked(in).chopped(3) + prefix);
}

void checkVoltage(const QString& in) {
    const QString out = formatted(SETTING::FormatVoltage, in);
    // Too short to be a reading: shown as it came.
    if (in.size() < 4) return expect(in, out, in);

    const QString body = in.mid(1);
    if (body == QLatin1String("1.0000E+8")) return expect(in, out, in.left(1) + QStringLiteral(" O.F  "));
    if (body == QLatin1String("1.0000E+9")) return expect(in, out, in.left(1) + QStringLiteral("----- "));
    FUZZ_CHECK(out.size() == in.size() - 3);
    expect(in, out, in.left(1) + blanked(body).chopped(3));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Fields arrive as Latin-1, one character per byte.
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    checkResistance(text);
    checkVoltage(text);
    return 0;
}
