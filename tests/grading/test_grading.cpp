// Grading without windows: values with unit prefixes, grades at their edges,
// profile files (round trip and every damaged-file message) and the
// capability figures against a hand computation.
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <cmath>

#include "capability.h"
#include "profile.h"
#include "profile_file.h"
#include "test_env.h"
#include "units.h"

using namespace GRADING;

namespace {

std::optional<double> V(double d) { return d; }
constexpr std::nullopt_t Open = std::nullopt;

Bin MakeBin(const char* name, std::optional<double> rLow, std::optional<double> rHigh,
            std::optional<double> vLow = Open, std::optional<double> vHigh = Open, const char* colour = "") {
    return Bin{QString::fromUtf8(name), QString::fromLatin1(colour), {rLow, rHigh}, {vLow, vHigh}};
}

// Three bins on resistance, the middle one also on voltage.
Profile Cells() {
    Profile p;
    p.name = QStringLiteral("18650 incoming");
    p.bins = {MakeBin("A", V(15e-3), V(18.5e-3), Open, Open, "#00a000"),
              MakeBin("B", V(18.5e-3), V(22e-3), V(3.6), V(3.7), "#a0a000"),
              MakeBin("C", Open, V(30e-3), Open, Open, "#0000ff")};
    p.resistanceLimits = {V(10e-3), V(25e-3)};
    p.voltageLimits = {V(3.5), Open};
    return p;
}

}  // namespace

class TestGrading : public QObject {
    Q_OBJECT
private slots:
    void valuesWithPrefixes_data();
    void valuesWithPrefixes();
    void formatIsShortestExact();
    void gradeBoundaries_data();
    void gradeBoundaries();
    void fileRoundTrip();
    void damagedFiles_data();
    void damagedFiles();
    void validateNamesBinAndField();
    void capabilityAgainstHandComputation();
    void capabilityUndefinedCases();
};

void TestGrading::valuesWithPrefixes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("milli") << "18.5m" << true << 18.5e-3;
    QTest::newRow("kilo") << "2.5k" << true << 2500.0;
    QTest::newRow("micro u") << "500u" << true << 500e-6;
    QTest::newRow("micro sign") << QString::fromUtf8("500\u00b5") << true << 500e-6;
    QTest::newRow("pico") << "3p" << true << 3e-12;
    QTest::newRow("nano") << "7n" << true << 7e-9;
    QTest::newRow("mega") << "1.5M" << true << 1.5e6;
    QTest::newRow("giga") << "2G" << true << 2e9;
    QTest::newRow("plain") << "3.65" << true << 3.65;
    QTest::newRow("negative") << "-0.5" << true << -0.5;
    QTest::newRow("exponent and prefix") << "1.85e1m" << true << 18.5e-3;
    QTest::newRow("blanks") << "  18.5 m " << true << 18.5e-3;
    QTest::newRow("point first") << ".5" << true << 0.5;
    QTest::newRow("decimal comma") << "18,5m" << false << 0.0;
    QTest::newRow("unknown prefix") << "18.5x" << false << 0.0;
    QTest::newRow("two prefixes") << "1mm" << false << 0.0;
    QTest::newRow("unit") << "18.5mOhm" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("hex") << "0x10" << false << 0.0;
    QTest::newRow("overflow") << "1e400" << false << 0.0;
}

void TestGrading::valuesWithPrefixes() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);
    // A decimal comma in the user's locale must not change anything.
    const QByteArray oldLocale = setlocale(LC_NUMERIC, nullptr);
    setlocale(LC_NUMERIC, "de_DE.UTF-8");   // where installed
    QLocale::setDefault(QLocale(QLocale::German));
    const auto got = ParseValue(text);
    setlocale(LC_NUMERIC, oldLocale.constData());
    QLocale::setDefault(QLocale::c());
    QCOMPARE(bool(got), ok);
    if (ok) QCOMPARE(*got, value);   // exact: the prefix goes into the decimal exponent
}

void TestGrading::formatIsShortestExact() {
    const QList<std::pair<double, const char*>> cases = {
        {18.5e-3, "18.5m"}, {2500.0, "2.5k"}, {500e-6, "500u"}, {3.65, "3.65"}, {100.0, "100"},
        {0.0, "0"}, {-0.5, "-500m"}, {1e-15, "0.001p"}, {1e15, "1000000G"}, {0.1 + 0.2, "300.00000000000004m"}};
    for (const auto& [value, text] : cases) {
        QCOMPARE(FormatValue(value), QString::fromLatin1(text));
        QCOMPARE(*ParseValue(FormatValue(value)), value);
    }
    // Any double reads back exactly.
    for (double v = 1.234567e-13; v < 1e13; v *= 7.3) QCOMPARE(*ParseValue(FormatValue(v)), v);
}

void TestGrading::gradeBoundaries_data() {
    QTest::addColumn<QString>("r");
    QTest::addColumn<QString>("v");
    QTest::addColumn<bool>("resistanceOnly");
    QTest::addColumn<int>("bin");
    QTest::addColumn<QString>("reason");
    // A: 15m..18.5m; B: 18.5m..22m with 3.6..3.7 V; C: ..30m.
    QTest::newRow("low edge of A") << "15.00E-3" << "+3.5000E+0" << false << 0 << "";
    QTest::newRow("shared edge goes to the first") << "18.50E-3" << "+3.6500E+0" << false << 0 << "";
    QTest::newRow("inside B") << "20.00E-3" << "+3.6500E+0" << false << 1 << "";
    QTest::newRow("B voltage edges") << "020.0E-3" << "+3.7000E+0" << false << 1 << "";
    QTest::newRow("B voltage just out") << "20.00E-3" << "+3.7001E+0" << false << 2 << "";
    QTest::newRow("open low side of C") << "-1.000E-3" << "-9.0000E+0" << false << 2 << "";
    QTest::newRow("high edge of C") << "30.00E-3" << "+0.0000E+0" << false << 2 << "";
    QTest::newRow("above every bin") << "30.01E-3" << "+3.6500E+0" << false << -1 << "";
    QTest::newRow("over range") << "1.0000E+8" << "+3.6500E+0" << false << -1 << "over range";
    QTest::newRow("no measurement") << "1.0000E+9" << "+3.6500E+0" << false << -1 << "no measurement";
    QTest::newRow("voltage over range") << "20.00E-3" << "-1.0000E+8" << false << -1 << "over range";
    QTest::newRow("voltage no measurement") << "20.00E-3" << "+1.0000E+9" << false << -1 << "no measurement";
    QTest::newRow("garbage") << "20.0?E-3" << "+3.6500E+0" << false << -1 << "not a number";
    QTest::newRow("empty voltage") << "20.00E-3" << "" << false << -1 << "not a number";
    QTest::newRow("R only: voltage not applied") << "20.00E-3" << "" << true << 1 << "";
    QTest::newRow("R only: voltage outside B") << "20.00E-3" << "+9.0000E+0" << true << 1 << "";
    QTest::newRow("R only: over range") << "1.0000E+8" << "" << true << -1 << "over range";
}

void TestGrading::gradeBoundaries() {
    QFETCH(QString, r);
    QFETCH(QString, v);
    QFETCH(bool, resistanceOnly);
    QFETCH(int, bin);
    QFETCH(QString, reason);
    const Profile p = Cells();
    const Grade g = GradeReading(p, r, v, resistanceOnly);
    QCOMPARE(g.bin, bin);
    QCOMPARE(g.accepted, bin >= 0);
    QCOMPARE(g.reason, reason);
    QCOMPARE(g.name, bin >= 0 ? p.bins[bin].name : QStringLiteral("Reject"));
    QCOMPARE(g.colour, bin >= 0 ? p.bins[bin].colour : QStringLiteral("#c00000"));
}

void TestGrading::fileRoundTrip() {
    Profile p = Cells();
    p.bins.append(MakeBin("Stück µ", V(1e-12), V(2.5e3), V(-0.1 + 0.0), V(0.1 + 0.2)));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cells.grading"));
    QCOMPARE(WriteProfile(p, path), QString());
    const ReadResult back = ReadProfile(path);
    QCOMPARE(back.error, QString());
    QVERIFY(back.profile);
    QCOMPARE(*back.profile, p);
    // Readable by a technician: prefixes, open sides as *.
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY(text.contains("[bin]\nname = A\ncolour = #00a000\nresistance low = 15m\nresistance high = 18.5m\n"
                          "voltage low = *\nvoltage high = *\n"));
    QVERIFY(text.contains("[limits]\nresistance low = 10m\nresistance high = 25m\nvoltage low = 3.5\n"));

    // The hand-written forms read as the same profile: comments, CRLF, a
    // byte-order mark, blanks, "color", empty open sides, missing lines.
    const QByteArray hand =
        "\xEF\xBB\xBF# station 3\r\n"
        "  name =  18650 incoming \r\n"
        "[ Limits ]\r\n"
        "Resistance  Low = 10 m\r\nresistance high = 0.025\r\nvoltage low = 3500m\r\nvoltage high =\r\n"
        "[bin]\nname = A\ncolor = #00a000\nresistance low = 15m\nresistance high = 18.5m\n"
        "[bin]\nname = B\ncolour = #a0a000\nresistance low = 18.5m\nresistance high = 22m\n"
        "voltage low = 3.6\nvoltage high = 3.7\n"
        "[bin]\nname = C\ncolour = #0000ff\nresistance low = *\nresistance high = 30m\n";
    const ReadResult r = ParseProfile(hand);
    QCOMPARE(r.error, QString());
    QCOMPARE(*r.profile, Cells());

    // A profile with problems is not written.
    Profile bad = Cells();
    bad.bins[1].name.clear();
    const QString other = dir.filePath(QStringLiteral("bad.grading"));
    QVERIFY(!WriteProfile(bad, other).isEmpty());
    QVERIFY(!QFile::exists(other));
}

void TestGrading::damagedFiles_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    const QByteArray head = "# cells\nname = x\n\n";   // lines 1-3
    const QByteArray a = "[bin]\nname = A\nresistance low = 15m\nresistance high = 18m\n";   // 4-7 after head
    QTest::newRow("unknown key") << head + a + "resistence low = 1m\n" << 8
                                 << "Line 8: unknown key \"resistence low\" in [bin].";
    QTest::newRow("unknown top key") << QByteArray("name = x\nbins = 3\n") << 2
                                     << "Line 2: unknown key \"bins\" before the first section.";
    QTest::newRow("no number") << head + "[bin]\nname = A\nresistance high = 18,5m\n" << 6
                               << "Line 6: \"18,5m\" is not a number (resistance high).";
    QTest::newRow("low above high") << head + "[bin]\nname = A\nresistance high = 18m\nresistance low = 20m\n" << 7
                                    << "Line 7: bin 1 (A): resistance low 20m is above resistance high 18m.";
    QTest::newRow("voltage low above high") << head + a + "voltage low = 4\nvoltage high = 3.7\n" << 9
                                            << "Line 9: bin 1 (A): voltage low 4 is above voltage high 3.7.";
    QTest::newRow("covered by an earlier bin")
        << head + a + "\n[bin]\nname = A2\nresistance low = 16m\nresistance high = 18m\n" << 9
        << "Line 9: bin 2 (A2): never fits, as bin 1 (A) comes first and covers all of it.";
    QTest::newRow("missing name") << head + a + "[bin]\nresistance low = 1\n" << 8
                                  << "Line 8: bin 2: has no name.";
    QTest::newRow("empty name") << head + "[bin]\nname =\n" << 5 << "Line 5: bin 1: has no name.";
    QTest::newRow("no bins") << head + "[limits]\nresistance low = 1m\n" << 5
                             << "Line 5: the profile has no bins (a bin starts with a line [bin]).";
    QTest::newRow("empty file") << QByteArray() << 1
                                << "Line 1: the profile has no bins (a bin starts with a line [bin]).";
    QTest::newRow("duplicate bin name") << head + a + "[bin]\nname = a\nresistance low = 30m\n" << 9
                                        << "Line 9: bin 2 (a): the name is already used by bin 1.";
    QTest::newRow("reserved name") << head + "[bin]\nname = Reject\n" << 5
                                   << "Line 5: bin 1 (Reject): the name \"Reject\" is kept for readings that fit no bin.";
    QTest::newRow("key twice") << head + "[bin]\nname = A\nresistance low = 1m\nresistance low = 2m\n" << 7
                               << "Line 7: \"resistance low\" given twice in this section (first on line 6).";
    QTest::newRow("bad colour") << head + "[bin]\nname = A\ncolour = green\n" << 6
                                << "Line 6: bin 1 (A): colour \"green\" is not of the form #rrggbb.";
    QTest::newRow("not key = value") << head + "[bin]\nname A\n" << 5
                                     << "Line 5: expected \"key = value\", a [section] or a # comment.";
    QTest::newRow("unknown section") << head + "[bins]\n" << 4
                                     << "Line 4: unknown section \"[bins]\" (expected [bin] or [limits]).";
    QTest::newRow("unclosed section") << head + "[bin\n" << 4 << "Line 4: a section line must end with \"]\".";
    QTest::newRow("second limits") << QByteArray("[limits]\n[limits]\n") << 2
                                   << "Line 2: a second [limits] section (the first is on line 1).";
    QTest::newRow("limits equal") << QByteArray("[limits]\nvoltage low = 3.7\nvoltage high = 3700m\n") << 3
                                  << "Line 3: acceptance limits: voltage low 3.7 is not below voltage high 3.7.";
    QTest::newRow("not UTF-8") << head + "[bin]\nname = St\xFC" "ck\n" << 5 << "Line 5: not UTF-8 text.";
}

void TestGrading::damagedFiles() {
    QFETCH(QByteArray, file);
    QFETCH(int, line);
    QFETCH(QString, message);
    const ReadResult r = ParseProfile(file);
    QVERIFY(!r.profile);
    QCOMPARE(r.error, message);
    QCOMPARE(r.line, line);
}

// The dialog's check: every problem at once, each naming bin and field.
void TestGrading::validateNamesBinAndField() {
    QVERIFY(Validate(Cells()).isEmpty());
    Profile p = Cells();
    p.bins.append(MakeBin("D", V(16e-3), V(17e-3)));      // inside A
    p.bins[1].voltage = {V(3.8), V(3.7)};
    p.bins.append(MakeBin(" E", V(40e-3), Open));          // would not survive the file
    const QList<Problem> problems = Validate(p);
    QCOMPARE(problems.size(), 3);
    QCOMPARE(problems[0].bin, 1);
    QCOMPARE(problems[0].field, Problem::Field::VoltageHigh);
    QCOMPARE(problems[0].text, QStringLiteral("bin 2 (B): voltage low 3.8 is above voltage high 3.7"));
    QCOMPARE(problems[1].bin, 3);
    QCOMPARE(problems[1].text, QStringLiteral("bin 4 (D): never fits, as bin 1 (A) comes first and covers all of it"));
    QCOMPARE(problems[2].field, Problem::Field::Name);
    QCOMPARE(Validate(Profile{}).first().text, QStringLiteral("the profile has no bins"));
    // A bin open on every side takes everything after it.
    Profile all;
    all.bins = {MakeBin("Any", Open, Open), MakeBin("Late", V(1), V(2), V(3), V(4))};
    QCOMPARE(Validate(all).size(), 1);
    // Narrower voltage makes a bin reachable even inside the resistance of an earlier one.
    all.bins[0] = MakeBin("Any", Open, Open, V(3), V(3.5));
    QVERIFY(Validate(all).isEmpty());
}

void TestGrading::capabilityAgainstHandComputation() {
    // Resistance 10m, 12m, 14m, 16m, 18m against limits 10m .. 25m:
    //   mean = 70m / 5 = 14m
    //   squared deviations (m^2): 16 + 4 + 0 + 4 + 16 = 40 -> s^2 = 40 / (5 - 1) = 10, s = 3.16228m
    //   Cp  = (25m - 10m) / (6 * 3.16228m) = 15 / 18.9737 = 0.790569
    //   Cpk = min(25m - 14m, 14m - 10m) / (3 s) = 4 / 9.48683 = 0.421637
    // Voltage 3.6, 3.7 (the 18m reading has none) against 3.5 .. open:
    //   mean 3.65, s^2 = (0.05^2 + 0.05^2) / 1 = 0.005, s = 0.0707107
    //   Cp undefined (one side), Cpk = (3.65 - 3.5) / (3 * 0.0707107) = 0.15 / 0.212132 = 0.707107
    // Bins of Cells() (resistance only): 10m, 12m, 14m are below A (15m .. 18.5m) and go
    // to C (open .. 30m), 16m and 18m to A; plus one over-range reject:
    //   graded 6, A 2, B 0, C 3, rejects 1, share of C 3/6, yield 5/6.
    const Profile p = Cells();
    Capability cap(p);
    const QList<std::pair<const char*, const char*>> readings = {
        {"10.00E-3", "+3.6000E+0"}, {"12.00E-3", "+3.7000E+0"}, {"14.00E-3", "+1.0000E+9"},
        {"16.00E-3", "+1.0000E+8"}, {"18.00E-3", "xx"}, {"1.0000E+8", "+3.6000E+0"}};
    for (const auto& [r, v] : readings) {
        const Grade g = GradeReading(p, QString::fromLatin1(r), QString::fromLatin1(v), true);
        cap.add(g, InstrumentNumber(QString::fromLatin1(r)), InstrumentNumber(QString::fromLatin1(v)));
    }
    QCOMPARE(cap.graded(), 6);
    QCOMPARE(cap.count(0), 2);
    QCOMPARE(cap.count(1), 0);
    QCOMPARE(cap.count(2), 3);
    QCOMPARE(cap.rejects(), 1);
    QCOMPARE(*cap.share(2), 0.5);
    QCOMPARE(*cap.yield(), 5.0 / 6.0);

    const ProcessFigures r = cap.resistance();
    QCOMPARE(r.n, 5);
    QCOMPARE(qRound(*r.mean * 1e9), 14000000);
    QVERIFY(std::fabs(*r.stddev - 3.16228e-3) < 1e-8);
    QVERIFY(std::fabs(*r.cp - 0.790569) < 1e-6);
    QVERIFY(std::fabs(*r.cpk - 0.421637) < 1e-6);
    // The 3.6 V reading of the over-range one counts: its voltage is a number.
    const ProcessFigures v = cap.voltage();
    QCOMPARE(v.n, 3);   // 3.6, 3.7, 3.6
    // 3.6, 3.7, 3.6: mean 3.633333, s^2 = (0.033333^2 * 2 + 0.066667^2) / 2 = 0.0033333,
    // s = 0.0577350, Cpk = (3.633333 - 3.5) / (3 * 0.0577350) = 0.769800
    QVERIFY(!v.cp);
    QVERIFY(std::fabs(*v.stddev - 0.0577350) < 1e-7);
    QVERIFY(std::fabs(*v.cpk - 0.769800) < 1e-6);

    // Only the upper limit: Cpk from that side alone, (25m - 14m) / 9.48683m = 1.159502.
    RunningStats s;
    for (double x : {10e-3, 12e-3, 14e-3, 16e-3, 18e-3}) s.add(x);
    const ProcessFigures upper = Figures(s, {Open, V(25e-3)});
    QVERIFY(!upper.cp);
    QVERIFY(std::fabs(*upper.cpk - 1.159502) < 1e-6);
    // Two readings: 3.6, 3.7 against 3.5 .. 3.8 -> s = 0.0707107, Cp = Cpk = 0.3 / 0.424264 = 0.707107.
    RunningStats two;
    two.add(3.6);
    two.add(3.7);
    const ProcessFigures both = Figures(two, {V(3.5), V(3.8)});
    QVERIFY(std::fabs(*both.cp - 0.707107) < 1e-6);
    QVERIFY(std::fabs(*both.cpk - 0.707107) < 1e-6);
}

void TestGrading::capabilityUndefinedCases() {
    const Range limits{V(0), V(10)};
    RunningStats none;
    QVERIFY(!Figures(none, limits).mean && !Figures(none, limits).cpk);
    RunningStats one;
    one.add(5);
    QCOMPARE(*Figures(one, limits).mean, 5.0);
    QVERIFY(!Figures(one, limits).stddev && !Figures(one, limits).cp && !Figures(one, limits).cpk);
    RunningStats flat;
    for (int i = 0; i < 4; ++i) flat.add(3.65);
    QCOMPARE(*Figures(flat, limits).stddev, 0.0);
    QVERIFY(!Figures(flat, limits).cp && !Figures(flat, limits).cpk);
    RunningStats some;
    some.add(1);
    some.add(2);
    QVERIFY(!Figures(some, Range{}).cp && !Figures(some, Range{}).cpk);
    Capability empty{Profile{}};
    QVERIFY(!empty.yield() && !empty.share(0));
    // Close values far from zero: summing squares would lose them all.
    // 1e9 + {4, 7, 13, 16}: mean 1e9 + 10, s^2 = (36 + 9 + 9 + 36) / 3 = 30.
    RunningStats big;
    for (double x : {4.0, 7.0, 13.0, 16.0}) big.add(1e9 + x);
    QVERIFY(std::fabs(*big.stddev() - std::sqrt(30.0)) < 1e-6);
}

ORVEN_TEST_MAIN(TestGrading)
#include "test_grading.moc"
