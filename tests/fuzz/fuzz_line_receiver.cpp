// Bytes in, fields out. The same bytes are fed whole, in chunks taken from
// the input and one at a time; all three must give the same lines, and the
// same as a plain byte-by-byte model of the rules. A fourth run gives lines
// up at chunk ends (as a receive that runs out of time does) and is checked
// against the model with the same give-ups.
//
// Input: byte 0 picks the capacity (2 or 3, as the callers use) and the line
// cap, byte 1 seeds the chunk sizes and the give-up points, the rest is the
// stream from the instrument.
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "line_receiver.h"
#include "rs_lib32.h"

using R = LineReceiver::Result;

namespace {

// A field the receiver has not touched keeps this; no received field can
// contain byte 1, so it is never mistaken for one.
const QString kUntouched = QStringLiteral("\x01untouched");

struct Event {
    int result;           // LineReceiver::Result, or -1 for a given-up line
    qsizetype offset;     // stream position after the event
    QStringList fields;
    bool operator==(const Event&) const = default;
};

struct Setup {
    qsizetype capacity;
    qsizetype cap;
};

QStringList freshFields(qsizetype capacity) { return QStringList(capacity, kUntouched); }

void checkFields(const QStringList& fields, const Setup& s) {
    FUZZ_CHECK(fields.size() == s.capacity);
    qsizetype total = 0;
    for (const QString& f : fields) {
        if (f == kUntouched) continue;
        total += f.size();
        for (QChar c : f) {
            const ushort u = c.unicode();
            FUZZ_CHECK(u >= 32 && u <= 255);
            FUZZ_CHECK(u != ';' && u != ',');
        }
    }
    // The line cap bounds what one line can hold.
    FUZZ_CHECK(total <= s.cap);
}

// The rules one byte at a time, written without the receiver's run logic.
std::vector<Event> model(const uint8_t* p, qsizetype n, const Setup& s,
                         const std::vector<bool>& giveUpAfter) {
    std::vector<Event> out;
    QStringList f = freshFields(s.capacity);
    qsizetype index = 0, bytes = 0;
    bool discard = false;
    auto begin = [&] {
        f = freshFields(s.capacity);
        f[0].clear();
        index = 0;
        bytes = 0;
    };
    begin();
    for (qsizetype i = 0; i < n; ++i) {
        const uint8_t c = p[i];
        int result = int(R::NeedMore);
        if (discard) {
            if (c == '\n') discard = false;
        } else if (c == '\n') {
            result = int(R::LineComplete);
        } else if (++bytes > s.cap) {
            discard = true;
            result = int(R::LineTooLong);
        } else if (c == ';' || c == ',') {
            if (++index >= s.capacity)
                result = int(R::FieldOverflow);
            else
                f[index].clear();
        } else if (c >= 32) {
            f[index] += QChar(ushort(c));
        }
        if (result != int(R::NeedMore)) {
            out.push_back({result, i + 1, f});
            begin();
        }
        if (giveUpAfter[i + 1]) {
            out.push_back({-1, i + 1, f});
            if (bytes > 0) discard = true;
            begin();
        }
    }
    out.push_back({int(R::NeedMore), n, f});
    return out;
}

// Feeds the stream to a receiver, stopping at every marked boundary; at a
// give-up boundary the line in progress is abandoned.
std::vector<Event> receive(const uint8_t* p, qsizetype n, const Setup& s,
                           const std::vector<bool>& boundary, const std::vector<bool>& giveUpAfter) {
    std::vector<Event> out;
    LineReceiver rx(s.cap);
    QStringList f = freshFields(s.capacity);
    rx.begin(f);
    qsizetype pos = 0;
    while (pos < n) {
        qsizetype stop = pos + 1;
        while (stop < n && !boundary[stop]) ++stop;
        while (pos < stop) {
            const qsizetype len = stop - pos;
            qsizetype used = -1;
            const R r = rx.feed(reinterpret_cast<const char*>(p + pos), len, &used);
            FUZZ_CHECK(used >= 0 && used <= len);
            pos += used;
            checkFields(f, s);
            if (r == R::NeedMore) {
                FUZZ_CHECK(used == len);
                break;
            }
            FUZZ_CHECK(used > 0);   // a line that ends must have taken its last byte
            out.push_back({int(r), pos, f});
            f = freshFields(s.capacity);
            rx.begin(f);
        }
        if (giveUpAfter[pos]) {
            out.push_back({-1, pos, f});
            rx.abandonLine();
            f = freshFields(s.capacity);
            rx.begin(f);
        }
    }
    out.push_back({int(R::NeedMore), n, f});
    return out;
}

void explain(const std::vector<Event>& a, const std::vector<Event>& b) {
    std::fprintf(stderr, "events: %zu vs %zu\n", a.size(), b.size());
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] == b[i]) continue;
        std::fprintf(stderr, "first difference at event %zu: result %d/%d offset %lld/%lld\n", i,
                     a[i].result, b[i].result, static_cast<long long>(a[i].offset),
                     static_cast<long long>(b[i].offset));
        for (qsizetype k = 0; k < a[i].fields.size(); ++k) {
            fuzzShow("  got  ", a[i].fields[k]);
            fuzzShow("  model", b[i].fields.value(k));
        }
        return;
    }
}

void same(const std::vector<Event>& got, const std::vector<Event>& want) {
    if (got == want) return;
    explain(got, want);
    fuzzFail(__FILE__, __LINE__, "receiver and model disagree");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const Setup s{2 + qsizetype(data[0] & 1),
                  (data[0] & 6) == 0 ? qsizetype(RS_LIB32::kMaxLineBytes) : qsizetype(1 + (data[0] >> 1))};
    uint32_t seed = data[1] * 2654435761u + 1;
    const uint8_t* p = data + 2;
    const qsizetype n = qsizetype(size - 2);

    std::vector<bool> none(size_t(n) + 1, false), every(size_t(n) + 1, true);
    std::vector<bool> chunks(size_t(n) + 1, false), giveUps(size_t(n) + 1, false);
    for (qsizetype i = 1; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        chunks[i] = ((seed >> 16) % 5) == 0;
        giveUps[i] = chunks[i] && ((seed >> 8) % 7) == 0;
    }

    const auto expected = model(p, n, s, none);
    same(receive(p, n, s, none, none), expected);
    same(receive(p, n, s, chunks, none), expected);
    same(receive(p, n, s, every, none), expected);
    same(receive(p, n, s, chunks, giveUps), model(p, n, s, giveUps));
    return 0;
}
