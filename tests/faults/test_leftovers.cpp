// An answer with more fields than the query takes stops that query with a
// message; the rest of its line must not be taken for the answer to the
// next query, or the next logged row holds the wrong values. Run through the
// whole program in a child process, the simulator answering by hand.
#include <QtTest>

#include "fault_child.h"
#include "fault_parent.h"
#include "test_env.h"

using namespace FAULT;

namespace {
const QByteArray kSetupDone = ":COMP?\r\n";
const QByteArray kGoodSetup = "RV;FAST;0\r\n";
}  // namespace

class TestLeftovers : public QObject {
    Q_OBJECT

    // Waits for the n-th `query` and answers it.
    static bool Answer(SimProcess& sim, const QByteArray& query, int n, const QByteArray& bytes) {
        if (!PollUntil([&] { return Count(sim.received(), query) >= n; })) return false;
        return sim.control("send " + bytes.toHex());
    }

private slots:
    void tooManyFieldsLeaveNothingBehind_data() {
        QTest::addColumn<QString>("run");
        QTest::addColumn<QByteArray>("firstQuery");
        QTest::addColumn<int>("firstIndex");
        QTest::addColumn<QByteArray>("overfull");
        QTest::addColumn<QString>("boxStart");
        QTest::newRow("main window setup query")
            << "single" << kSetupDone << 1 << QByteArray("RV;FAST;0;SPARE;9\r\n")
            << "2|ORVEN 5927 Application|The answer of the 5927 could not be read";
        QTest::newRow("test measurement")
            << "test+single" << QByteArray(":MEAS:RES?\r\n") << 1 << QByteArray("1E-3,IN,SPARE\r\n")
            << "2|ORVEN 5927 Application|The answer of the 5927 could not be read";
    }
    void tooManyFieldsLeaveNothingBehind() {
        QFETCH(QString, run);
        QFETCH(QByteArray, firstQuery);
        QFETCH(int, firstIndex);
        QFETCH(QByteArray, overfull);
        QFETCH(QString, boxStart);
        SimProcess sim({"--silent"});
        QVERIFY(sim.started());
        QTemporaryDir dir;
        const QString file = dir.filePath("after.csv");
        Child child;
        child.start(run, sim, file);

        int setups = 0;
        if (firstQuery != kSetupDone) {
            QVERIFY(Answer(sim, kSetupDone, ++setups, kGoodSetup));   // the main window's load
            QVERIFY(Answer(sim, kSetupDone, ++setups, kGoodSetup));   // the test measurement's
        }
        QVERIFY(Answer(sim, firstQuery, firstIndex, overfull));
        if (firstQuery == kSetupDone) ++setups;
        QVERIFY2(child.waitLine("BOX|"), qPrintable(child.output()));
        QVERIFY2(child.boxes().value(0).startsWith(boxStart), qPrintable(child.boxes().value(0)));

        // The return-key window: OK asks for the setup, Load asks again and reads.
        QVERIFY(Answer(sim, kSetupDone, ++setups, kGoodSetup));
        QVERIFY(Answer(sim, kSetupDone, ++setups, kGoodSetup));
        QVERIFY(Answer(sim, kMeasBatt, 1, "4E-3,+5E+0\r\n"));
        QVERIFY2(PollUntil([&] { return ReadAll(file).endsWith("\r\n"); }), qPrintable(child.output()));
        QCOMPARE(ReadAll(file), QByteArray("4E-3,+5E+0\r\n"));
        QCOMPARE(child.boxes().size(), 1);
        child.askToClose();
        QVERIFY2(child.waitFinished(), qPrintable(child.output()));
        QCOMPARE(child.exitCode(), 0);
    }
};

int main(int argc, char** argv) {
    FAULT::RunChildIfAsked(argc, argv);
    TESTENV::UseTemporarySettings();
    QApplication app(argc, argv);
    TestLeftovers tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_leftovers.moc"
