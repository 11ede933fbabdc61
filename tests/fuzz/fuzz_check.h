#pragma once
// Property checks inside fuzz targets. A broken property aborts, which
// libFuzzer (and the replay runner) report as a crash with the input saved.
#include <QString>
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fuzzFail(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(cond)                                           \
    do {                                                           \
        if (!(cond)) fuzzFail(__FILE__, __LINE__, #cond);          \
    } while (0)

// Shows a text with its control and high bytes escaped, for failure notes.
inline void fuzzShow(const char* label, const QString& s) {
    std::fprintf(stderr, "%s: \"", label);
    for (QChar c : s) {
        const ushort u = c.unicode();
        if (u >= 32 && u < 127 && u != '"' && u != '\\')
            std::fputc(char(u), stderr);
        else
            std::fprintf(stderr, "\\x%02X", u);
    }
    std::fprintf(stderr, "\" (%lld chars)\n", static_cast<long long>(s.size()));
}
