#include "envelope.h"

namespace TREND {

Envelope::Envelope(int buckets) : buckets_(size_t(qMax(2, buckets & ~1))) {}

void Envelope::clear() {
    std::fill(buckets_.begin(), buckets_.end(), Bucket());
    origin_ = 0;
    bucketMs_ = 1;
    first_ = -1;
}

void Envelope::merge(Bucket& into, const Bucket& from) {
    if (from.values) {
        if (!into.values || from.low.v < into.low.v) into.low = from.low;
        if (!into.values || from.high.v > into.high.v) into.high = from.high;
    }
    into.values += from.values;
    into.gaps += from.gaps;
}

Envelope::Bucket& Envelope::bucketFor(qint64 t) {
    if (first_ < 0) {
        origin_ = t;
        first_ = 0;
    }
    // A clock that steps back lands in the first bucket rather than before it.
    const qint64 offset = qMax<qint64>(0, t - origin_);
    const qint64 n = qint64(buckets_.size());
    while (offset / bucketMs_ >= n) {
        const size_t half = buckets_.size() / 2;
        for (size_t i = 0; i < half; ++i) {
            Bucket b = buckets_[2 * i];
            merge(b, buckets_[2 * i + 1]);
            buckets_[i] = b;
        }
        std::fill(buckets_.begin() + qsizetype(half), buckets_.end(), Bucket());
        bucketMs_ *= 2;
    }
    return buckets_[size_t(offset / bucketMs_)];
}

void Envelope::addValue(qint64 t, double v, quint8 tag) {
    Bucket& b = bucketFor(t);
    const EnvelopePoint p{t, v, tag};
    if (!b.values || v < b.low.v) b.low = p;
    if (!b.values || v > b.high.v) b.high = p;
    ++b.values;
}

void Envelope::addGap(qint64 t) { ++bucketFor(t).gaps; }

QList<QList<EnvelopePoint>> Envelope::runs() const {
    QList<QList<EnvelopePoint>> out;
    QList<EnvelopePoint> run;
    for (const Bucket& b : buckets_) {
        if (b.values) {
            const bool one = b.low.t == b.high.t && b.low.v == b.high.v;
            if (one) {
                run.append(b.low);
            } else if (b.high.t < b.low.t) {
                run.append(b.high);
                run.append(b.low);
            } else {
                run.append(b.low);
                run.append(b.high);
            }
        } else if (b.gaps && !run.isEmpty()) {
            out.append(run);
            run.clear();
        }
    }
    if (!run.isEmpty()) out.append(run);
    return out;
}

}  // namespace TREND
