// The instrument setup: how answer fields become MeasMode / SampSpeed /
// CompState, and the setup queries against the simulator (exact command
// lines, answers, and the errors that leave the record alone).
#include <QApplication>
#include <QFile>
#include <QtTest>

#include "commands.h"
#include "errors.h"
#include "rs_lib32.h"
#include "setup.h"
#include "sim_process.h"
#include "test_env.h"

namespace {
QList<int> setupNow() {
    const auto s = RS_LIB32::ProgramLink().InstrumentSetup;
    return {s.MeasMode, s.SampSpeed, s.CompState};
}
}  // namespace

class TestSetup : public QObject {
    Q_OBJECT

    std::unique_ptr<SimProcess> sim;
    void startSim(const QStringList& args) {
        RS_LIB32::ProgramLink().CommClose();
        sim.reset(new SimProcess(args));
        QVERIFY(sim->started());
        qputenv("ORVEN5927_COM1", QFile::encodeName(sim->devicePath()));
        RS_LIB32::ProgramLink().CommInit();
        QCOMPARE(RS_LIB32::ProgramLink().CommOpen(0), 1);
    }

private slots:
    void cleanup() {
        RS_LIB32::ProgramLink().CommClose();
        sim.reset();
    }

    void zeroBeforeAnyQuery();
    void leadingNumber_data();
    void leadingNumber();
    void answerFields_data();
    void answerFields();
    void comparatorOverflowAfterModeAndSpeed();
    void queryAgainstSimulator_data();
    void queryAgainstSimulator();
    void heldQueryKeepsTheHold();
    void badAnswersReachTheCaller();
};

void TestSetup::zeroBeforeAnyQuery() {
    QCOMPARE(setupNow(), (QList<int>{0, 0, 0}));
    QCOMPARE(RS_LIB32::ProgramLink().InstrumentSetup.MeasMode, qint16(0));
    SETTING::ApplySetupAnswer({"RV", "x", "3"}, RS_LIB32::ProgramLink().InstrumentSetup);
    QCOMPARE(RS_LIB32::ProgramLink().InstrumentSetup.MeasMode, qint16(1));
    RS_LIB32::ProgramLink().InstrumentSetup = {};
    QCOMPARE(setupNow(), (QList<int>{0, 0, 0}));
}

void TestSetup::leadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("integer") << "17" << 17.0;
    QTest::newRow("reading form") << "012.34E-3" << 0.01234;
    QTest::newRow("signed") << "+12.345E+0" << 12.345;
    QTest::newRow("leading blanks") << "  3" << 3.0;
    QTest::newRow("trailing text") << "4ON" << 4.0;
    QTest::newRow("bare point") << ".5" << 0.5;
    QTest::newRow("exponent without digits") << "1E" << 1.0;
    QTest::newRow("exponent sign without digits") << "2e+x" << 2.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("no number") << "ON" << 0.0;
    QTest::newRow("point only") << "." << 0.0;
}

void TestSetup::leadingNumber() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(SETTING::LeadingNumber(text), value);
}

void TestSetup::answerFields_data() {
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QList<int>>("expected");
    using L = QList<int>;
    QTest::newRow("R FAST off") << QStringList{"R", "FAST", "0"} << L{0, 0, 0};
    QTest::newRow("RV MIDIUM on") << QStringList{"RV", "MIDIUM", "1"} << L{1, 1, 1};
    QTest::newRow("lower-case r") << QStringList{"r", "FAST", "0"} << L{1, 0, 0};
    QTest::newRow("R with a blank") << QStringList{"R ", "FAST", "0"} << L{1, 0, 0};
    QTest::newRow("MEDIUM is other") << QStringList{"R", "MEDIUM", "0"} << L{0, 2, 0};
    QTest::newRow("SLOW") << QStringList{"R", "SLOW", "0"} << L{0, 2, 0};
    QTest::newRow("half rounds down to even") << QStringList{"R", "FAST", "0.5"} << L{0, 0, 0};
    QTest::newRow("one and a half to 2") << QStringList{"R", "FAST", "1.5"} << L{0, 0, 2};
    QTest::newRow("two and a half to 2") << QStringList{"R", "FAST", "2.5"} << L{0, 0, 2};
    QTest::newRow("0.51 up") << QStringList{"R", "FAST", "0.51"} << L{0, 0, 1};
    QTest::newRow("negative half to even") << QStringList{"R", "FAST", "-1.5"} << L{0, 0, -2};
    QTest::newRow("no number") << QStringList{"R", "FAST", "ON"} << L{0, 0, 0};
    QTest::newRow("reading form") << QStringList{"R", "FAST", "1.0000E+0"} << L{0, 0, 1};
    QTest::newRow("top of the range") << QStringList{"R", "FAST", "32767.4"} << L{0, 0, 32767};
    QTest::newRow("bottom of the range") << QStringList{"R", "FAST", "-32768.5"}
                                         << L{0, 0, -32768};
    QTest::newRow("empty answer") << QStringList{"", "", ""} << L{1, 2, 0};
    QTest::newRow("short list") << QStringList{"R"} << L{0, 2, 0};
}

void TestSetup::answerFields() {
    QFETCH(QStringList, fields);
    QFETCH(QList<int>, expected);
    SETTING::ApplySetupAnswer({"RV", "MIDIUM", "7"}, RS_LIB32::ProgramLink().InstrumentSetup);   // something to overwrite
    SETTING::ApplySetupAnswer(fields, RS_LIB32::ProgramLink().InstrumentSetup);
    QCOMPARE(setupNow(), expected);
}

void TestSetup::comparatorOverflowAfterModeAndSpeed() {
    for (const char* big : {"40000", "32767.5", "-32769", "1E400", "-1e9"}) {
        SETTING::ApplySetupAnswer({"RV", "MIDIUM", "5"}, RS_LIB32::ProgramLink().InstrumentSetup);
        QVERIFY_THROWS_EXCEPTION(OverflowError, SETTING::ApplySetupAnswer({"R", "FAST", big}, RS_LIB32::ProgramLink().InstrumentSetup));
        QCOMPARE(setupNow(), (QList<int>{0, 0, 5}));
    }
}

void TestSetup::queryAgainstSimulator_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QList<int>>("expected");
    using L = QList<int>;
    QTest::newRow("resistance, fast, off")
        << QStringList{"--mode", "R", "--speed", "FAST", "--comp", "0"} << L{0, 0, 0};
    QTest::newRow("both, medium, on")
        << QStringList{"--mode", "RV", "--speed", "MIDIUM", "--comp", "1"} << L{1, 1, 1};
    QTest::newRow("slow, comparator 1.5")
        << QStringList{"--mode", "R", "--speed", "SLOW", "--comp", "1.5"} << L{0, 2, 2};
}

void TestSetup::queryAgainstSimulator() {
    QFETCH(QStringList, args);
    QFETCH(QList<int>, expected);
    startSim(args);
    RS_LIB32::ProgramLink().InstrumentSetup = {};
    RS_LIB32::ProgramLink().ReadInstrumentSetup();
    QCOMPARE(setupNow(), expected);
    QCOMPARE(RS_LIB32::ProgramLink().InstrumentSetup.MeasMode, qint16(expected[0]));
    QCOMPARE(sim->received(), QByteArray(":HEAD OFF;:HOLD OFF;:MOD?;:SAMP?;:COMP?\r\n"));
}

void TestSetup::heldQueryKeepsTheHold() {
    startSim({"--mode", "R", "--speed", "MIDIUM", "--comp", "3"});
    RS_LIB32::ProgramLink().InstrumentSetup = {};
    RS_LIB32::ProgramLink().ReadInstrumentSetupHeld();
    QCOMPARE(setupNow(), (QList<int>{0, 1, 3}));
    const QByteArray out = sim->received();
    QCOMPARE(out, QByteArray(":HEAD OFF;:MOD?;:SAMP?;:COMP?\r\n"));
    QVERIFY(!out.contains("HOLD"));
}

void TestSetup::badAnswersReachTheCaller() {
    startSim({"--silent"});
    SETTING::ApplySetupAnswer({"R", "FAST", "4"}, RS_LIB32::ProgramLink().InstrumentSetup);

    // Four fields: the receive refuses before anything is parsed.
    QVERIFY(sim->control("send " + QByteArray("RV;MIDIUM;1;9\n").toHex()));
    QVERIFY_THROWS_EXCEPTION(FieldOverflowError, RS_LIB32::ProgramLink().ReadInstrumentSetup());
    QCOMPARE(setupNow(), (QList<int>{0, 0, 4}));
    RS_LIB32::ProgramLink().CommPurge();

    // A comparator value out of range: mode and speed are taken first.
    QVERIFY(sim->control("send " + QByteArray("RV;MIDIUM;40000\n").toHex()));
    QVERIFY_THROWS_EXCEPTION(OverflowError, RS_LIB32::ProgramLink().ReadInstrumentSetup());
    QCOMPARE(setupNow(), (QList<int>{1, 1, 4}));

    // An empty answer line.
    QVERIFY(sim->control("send 0D0A"));
    RS_LIB32::ProgramLink().ReadInstrumentSetupHeld();
    QCOMPARE(setupNow(), (QList<int>{1, 2, 0}));

    // No answer at all: the query gives up after the time limit.
    SETTING::ApplySetupAnswer({"R", "FAST", "4"}, RS_LIB32::ProgramLink().InstrumentSetup);
    QVERIFY_THROWS_EXCEPTION(NoResponseError, RS_LIB32::ProgramLink().ReadInstrumentSetup());
    QCOMPARE(setupNow(), (QList<int>{0, 0, 4}));
}

ORVEN_TEST_MAIN(TestSetup)
#include "test_setup.moc"
