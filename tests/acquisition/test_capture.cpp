// The hands-free capture rule: when a reading counts as settled, what the
// instrument's special values mean, and that one placement gives one take.
#include <QtTest>

#include "capture.h"
#include "reading.h"

using ACQ::CaptureJudge;
using Step = CaptureJudge::Step;

namespace {
const char kOver[] = "1.0000E+8";
const char kNone[] = "1.0000E+9";
}  // namespace

class TestCapture : public QObject {
    Q_OBJECT
private slots:
    void agreementWithinTolerance();
    void liftAndSpecialValues();
    void ruleBounds();
    void cellIdSafety();
};

void TestCapture::agreementWithinTolerance() {
    CaptureJudge j({3, 0.01});
    QCOMPARE(j.Feed("10.00E-3", "+3.7000E+0"), Step::Settling);
    QCOMPARE(j.Agreeing(), 1);
    QCOMPARE(j.Feed("10.09E-3", "+3.7010E+0"), Step::Settling);   // 0.9 %
    QCOMPARE(j.Agreeing(), 2);
    // 1.5 % off the first: the streak starts again at this reading.
    QCOMPARE(j.Feed("10.15E-3", "+3.7000E+0"), Step::Settling);
    QCOMPARE(j.Agreeing(), 1);
    QCOMPARE(j.Feed("10.10E-3", "+3.7000E+0"), Step::Settling);
    QCOMPARE(j.Feed("10.12E-3", "+3.7000E+0"), Step::Take);

    // The voltage counts as much as the resistance.
    CaptureJudge v({2, 0.01});
    v.Feed("10.00E-3", "+3.7000E+0");
    QCOMPARE(v.Feed("10.00E-3", "+3.8000E+0"), Step::Settling);
    QCOMPARE(v.Agreeing(), 1);
    QCOMPARE(v.Feed("10.00E-3", "+3.8000E+0"), Step::Take);

    // A slow drift is measured against the streak's first reading, not the last.
    CaptureJudge d({3, 0.01});
    d.Feed("10.00E-3", "");
    d.Feed("10.06E-3", "");
    QCOMPARE(d.Feed("10.12E-3", ""), Step::Settling);
    QCOMPARE(d.Agreeing(), 1);

    // A special value in the voltage agrees only with itself.
    QVERIFY(CaptureJudge::Agree({"1E-3", "+1.0000E+8"}, {"1E-3", "+1.0000E+8"}, 0.01));
    QVERIFY(!CaptureJudge::Agree({"1E-3", "+1.0000E+8"}, {"1E-3", "+3.7E+0"}, 0.01));
}

void TestCapture::liftAndSpecialValues() {
    CaptureJudge j({2, 0.01});
    QCOMPARE(j.Feed(kOver, "+1.0000E+8"), Step::Lifted);
    QCOMPARE(j.Feed(kNone, "+1.0000E+9"), Step::Lifted);
    QCOMPARE(j.Feed("5.000E-3", ""), Step::Settling);
    QCOMPARE(j.Feed("5.000E-3", ""), Step::Take);
    j.Hold();
    // Still on the same cell: nothing, however long it stays.
    for (int i = 0; i < 5; ++i) QCOMPARE(j.Feed("5.000E-3", ""), Step::Holding);
    QCOMPARE(j.Feed("7.000E-3", ""), Step::Holding);
    QCOMPARE(j.Feed(kOver, ""), Step::Lifted);
    QCOMPARE(j.Feed("7.000E-3", ""), Step::Settling);
    QCOMPARE(j.Feed("7.000E-3", ""), Step::Take);

    // A lift in the middle of settling starts the count again.
    CaptureJudge s({3, 0.01});
    s.Feed("5.000E-3", "");
    s.Feed("5.000E-3", "");
    QCOMPARE(s.Feed(kNone, ""), Step::Lifted);
    QCOMPARE(s.Feed("5.000E-3", ""), Step::Settling);
    QCOMPARE(s.Agreeing(), 1);
    // An answer that is no number breaks the streak too.
    QCOMPARE(s.Feed("ERR", ""), Step::Settling);
    QCOMPARE(s.Agreeing(), 0);
    QCOMPARE(s.Feed("5.000E-3", ""), Step::Settling);
    QCOMPARE(s.Agreeing(), 1);

    // A declined cell (Hold without a take) also waits for the lift.
    CaptureJudge n({1, 0.01});
    QCOMPARE(n.Feed("5.000E-3", ""), Step::Take);
    n.Hold();
    QCOMPARE(n.Feed("5.000E-3", ""), Step::Holding);
}

void TestCapture::ruleBounds() {
    // One reading is enough when the operator asks for it; zero is one.
    CaptureJudge one({0, 0.01});
    QCOMPARE(one.Count(), 1);
    QCOMPARE(one.Feed("5.000E-3", ""), Step::Take);
    // No tolerance: only the same number agrees.
    CaptureJudge exact({2, 0});
    exact.Feed("5.000E-3", "");
    QCOMPARE(exact.Feed("5.001E-3", ""), Step::Settling);
    QCOMPARE(exact.Feed("5.001E-3", ""), Step::Take);
}

void TestCapture::cellIdSafety() {
    QVERIFY(ACQ::IsSafeCellId(""));
    QVERIFY(ACQ::IsSafeCellId("CELL-0001 A/7"));
    QVERIFY(ACQ::IsSafeCellId(QString(64, 'x')));
    QVERIFY(!ACQ::IsSafeCellId(QString(65, 'x')));
    for (const char* bad : {"A,B", "A;B", "A\"B", "A\tB", "A\rB", "A\nB", "A\x1d" "B", "=1+1", "+1", "-1", "@SUM"})
        QVERIFY2(!ACQ::IsSafeCellId(QString::fromLatin1(bad)), bad);
}

QTEST_GUILESS_MAIN(TestCapture)
#include "test_capture.moc"
