// The parse step of the setup query on any answer fields. MeasMode and
// SampSpeed always follow their exact-text rules; CompState is the rounded
// leading number of the third field, or the call throws OverflowError and
// leaves CompState as it was. Nothing else may escape.
//
// Input: byte 0 picks how many fields the list has (0 to 4); the rest is
// split at LF into the fields, Latin-1.
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "errors.h"
#include "fuzz_check.h"
#include "setup.h"

namespace {

// The leading number as a pattern: blanks, a sign, digits with an optional
// point (at least one digit), then an exponent only when it has digits.
const QRegularExpression& leadPattern() {
    static const QRegularExpression lead(
        QStringLiteral("^ *([+-]?)([0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)(?:[eE]([+-]?[0-9]+))?"));
    return lead;
}

// Checks the parsed value against the pattern. Where Qt refuses the number
// (beyond double's range either way) only its size is checked: an infinity
// for a huge number, a zero-like value for a tiny one.
void checkLeadingNumber(const QString& field, double got) {
    const auto m = leadPattern().match(field);
    if (!m.hasMatch()) {
        if (got == 0.0) return;
        fuzzShow("field", field);
        fuzzFail(__FILE__, __LINE__, "a field without a number must count as 0");
    }
    bool ok = false;
    const double want = m.captured(0).trimmed().toDouble(&ok);
    if (ok) {
        if (got == want) return;
        fuzzShow("field", field);
        std::fprintf(stderr, "leading number %.17g, expected %.17g\n", got, want);
        fuzzFail(__FILE__, __LINE__, "leading number differs");
    }
    // Decimal magnitude: the value lies in [10^(mag-1), 10^mag).
    const QString digits = m.captured(2);
    const qsizetype point = digits.contains(QLatin1Char('.')) ? digits.indexOf(QLatin1Char('.')) : digits.size();
    qsizetype first = 0;
    while (first < digits.size() && (digits[first] == QLatin1Char('0') || digits[first] == QLatin1Char('.'))) ++first;
    const QString exp = m.captured(3);
    const long long e = exp.size() > 8 ? (exp.startsWith(QLatin1Char('-')) ? -100000000LL : 100000000LL)
                                       : exp.toLongLong();
    const long long mag = first == digits.size() ? -100000000LL
                          : (first < point ? point - first : point - first + 1) + e;
    const bool negative = m.captured(1) == QLatin1String("-");
    if (mag >= 310)
        FUZZ_CHECK(std::isinf(got) && (got < 0) == negative);
    else if (mag <= -330)
        FUZZ_CHECK(std::fabs(got) < 1e-300);
    else
        FUZZ_CHECK(std::isinf(got) || std::fabs(got) < 1e-300);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const qsizetype count = data[0] % 5;
    QStringList fields = QString::fromLatin1(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1))
                             .split(QLatin1Char('\n'));
    fields.resize(count);

    // A known state before, so an untouched CompState can be told apart.
    SETTING::InstrumentSetupRecord setup;
    SETTING::ApplySetupAnswer({QStringLiteral("R"), QStringLiteral("FAST"), QStringLiteral("-7")}, setup);
    FUZZ_CHECK(setup.CompState == -7);

    const double number = SETTING::LeadingNumber(fields.value(2));
    checkLeadingNumber(fields.value(2), number);
    const double rounded = std::nearbyint(number);
    const bool fits = rounded >= std::numeric_limits<qint16>::min() &&
                      rounded <= std::numeric_limits<qint16>::max();

    bool overflow = false;
    try {
        SETTING::ApplySetupAnswer(fields, setup);
    } catch (const OverflowError&) {
        overflow = true;
    } catch (...) {
        fuzzFail(__FILE__, __LINE__, "unexpected exception");
    }

    const auto got = setup;
    FUZZ_CHECK(got.MeasMode == (fields.value(0) == QLatin1String("R") ? 0 : 1));
    const QString speed = fields.value(1);
    FUZZ_CHECK(got.SampSpeed == (speed == QLatin1String("FAST") ? 0 : speed == QLatin1String("MIDIUM") ? 1 : 2));
    FUZZ_CHECK(overflow == !fits);
    FUZZ_CHECK(got.CompState == (fits ? qint16(rounded) : qint16(-7)));
    return 0;
}
