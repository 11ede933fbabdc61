#pragma once
// The drawn form of a long series: time is cut into a fixed number of
// buckets, and each bucket keeps only its lowest and its highest value. When
// a reading falls past the last bucket, neighbouring buckets are merged in
// pairs and each covers twice the time. So memory and the points to draw stay
// bounded (two per bucket) however long the run, while every peak stays in
// the picture. With the buckets about as many as the chart's pixel columns
// that is about two points per column.
#include <QList>
#include <QtGlobal>
#include <vector>

namespace TREND {

struct EnvelopePoint {
    qint64 t = 0;      // ms
    double v = 0;
    quint8 tag = 0;    // what the caller wants to know of the point (its comparator result)
};

class Envelope {
public:
    explicit Envelope(int buckets = 1024);
    void clear();
    void addValue(qint64 t, double v, quint8 tag = 0);
    // A reading without a value: where a bucket holds only such readings the line breaks.
    void addGap(qint64 t);

    bool isEmpty() const { return first_ < 0; }
    qint64 bucketMs() const { return bucketMs_; }
    int bucketCount() const { return int(buckets_.size()); }
    // The points to draw in time order, cut into runs at the gaps: each
    // bucket's lowest and highest value, one point when they are the same reading.
    QList<QList<EnvelopePoint>> runs() const;

private:
    struct Bucket {
        qint32 values = 0;
        qint32 gaps = 0;
        EnvelopePoint low, high;
    };
    Bucket& bucketFor(qint64 t);
    static void merge(Bucket& into, const Bucket& from);

    std::vector<Bucket> buckets_;
    qint64 origin_ = 0;
    qint64 bucketMs_ = 1;
    int first_ = -1;   // < 0 while empty
};

}  // namespace TREND
