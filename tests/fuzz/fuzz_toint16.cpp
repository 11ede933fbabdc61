// Stored numbers to 16 bits: any text either converts to the rounded value
// (halves to even) inside the 16-bit range, or fails with an AppError.
#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "errors.h"
#include "fuzz_check.h"
#include "settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    const double r = std::nearbyint(d);
    const bool convertible = ok && std::isfinite(d) && r >= std::numeric_limits<qint16>::min() &&
                             r <= std::numeric_limits<qint16>::max();
    try {
        const qint16 v = SETTING::ToInt16(text);
        FUZZ_CHECK(convertible);
        FUZZ_CHECK(v == qint16(r));
    } catch (const AppError&) {
        FUZZ_CHECK(!convertible);
    } catch (...) {
        fuzzFail(__FILE__, __LINE__, "unexpected exception");
    }
    return 0;
}
