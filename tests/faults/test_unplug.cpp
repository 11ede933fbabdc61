// The adapter pulled in the middle of each activity that talks to the
// instrument, in a real child process: one critical box, no processor spin
// while it is up, the process ends, and every row logged so far is in the file.
#include <QtTest>

#include "fault_child.h"
#include "fault_parent.h"
#include "test_env.h"

using namespace FAULT;

class TestUnplug : public QObject {
    Q_OBJECT

private slots:
    void unplugWhileIdle();
    void unplugDuringTheIntervalWait();

    void unplugEndsTheProgramOnce_data() {
        QTest::addColumn<QString>("run");
        QTest::addColumn<bool>("csv");
        QTest::newRow("main window setup query") << "setup" << false;
        QTest::newRow("test measurement") << "test" << false;
        QTest::newRow("time-interval run") << "time" << true;
        QTest::newRow("return-key reading") << "single" << true;
        QTest::newRow("trigger loop") << "extio" << true;
    }

    void unplugEndsTheProgramOnce() {
        QFETCH(QString, run);
        QFETCH(bool, csv);
        SimProcess sim(run == QLatin1String("setup") ? QStringList{"--silent"} : QStringList{});
        QVERIFY(sim.started());
        QTemporaryDir dir;
        const QString file = csv ? dir.filePath("unplug run.csv") : QString();
        // The loading windows append: what was there must survive.
        const QByteArray earlier = "earlier,row\r\n";
        if (run == QLatin1String("single") || run == QLatin1String("extio")) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(earlier);
        }
        Child child;
        child.start(run, sim, file, 1500);
        if (run != QLatin1String("setup")) QVERIFY2(child.waitLine("MAIN"), qPrintable(child.output()));

        int measBefore = 0;
        if (run == QLatin1String("setup")) {
            QVERIFY(sim.waitReceived(":COMP?\r\n", 20000));
        } else if (run == QLatin1String("extio")) {
            // Two triggers give two rows; the third wait is cut off.
            for (int n = 1; n <= 3; ++n) {
                QVERIFY(PollUntil([&] { return Count(sim.received(), kWaitTrigger) >= n; }));
                if (n < 3) sim.trigger();
            }
            measBefore = 2;
        } else {
            const QByteArray query = run == QLatin1String("test") ? QByteArray(":MEAS:RES?\r\n") : kMeasBatt;
            QVERIFY(PollUntil([&] { return Count(sim.received(), query) >= 3; }));
            // Land the unplug inside an exchange: the next query goes unanswered.
            QVERIFY(sim.control("silent on"));
            const QByteArray atSilence = WaitForUnansweredQuery(sim);
            QVERIFY(!atSilence.isEmpty());
            measBefore = Count(atSilence, kMeasBatt);
        }
        QVERIFY(sim.control("unplug"));

        QVERIFY2(child.waitLine("BOX|"), qPrintable(child.output()));
        // The box stays up for a while: the gone device must not make the program spin.
        const double share = CpuShare(child.pid(), 1000);
        QVERIFY2(share < 0.2, qPrintable(QStringLiteral("cpu share %1").arg(share)));
        QVERIFY2(child.waitFinished(), qPrintable(child.output()));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 1);
        QCOMPARE(child.boxes(), QStringList{kFatalBox});
        QVERIFY(!child.hasLine("EXEC RETURNED"));
        if (!csv) return;

        const QByteArray bytes = ReadAll(file);
        QList<QByteArray> rows;
        QVERIFY2(WholeLines(bytes, &rows), bytes.right(200).constData());
        if (run == QLatin1String("time")) {
            QVERIFY(!rows.isEmpty());
            QCOMPARE(rows.takeFirst(), QByteArray("Time,Resistance,Voltage"));
        } else {
            QVERIFY(bytes.startsWith(earlier));
            rows.removeFirst();
        }
        const QRegularExpression& shape = run == QLatin1String("time") ? kTimedRow : kLoadedRow;
        for (const QByteArray& r : rows) QVERIFY2(shape.match(QString::fromLatin1(r)).hasMatch(), r.constData());
        if (run == QLatin1String("extio")) {
            QCOMPARE(rows.size(), measBefore);
        } else {
            const int measAll = Answered(sim.received(), kMeasBatt);
            QVERIFY2(rows.size() >= measBefore - 1 && rows.size() <= measAll,
                     qPrintable(QStringLiteral("%1 rows, %2 then %3 queries")
                                    .arg(rows.size()).arg(measBefore).arg(measAll)));
        }
    }
};

// The adapter pulled while no exchange runs: the gone device must not make
// the program spin, nor end it before it next talks to the instrument.
void TestUnplug::unplugWhileIdle() {
    SimProcess sim;
    QVERIFY(sim.started());
    Child child;
    child.start(QStringLiteral("idle"), sim);
    QVERIFY2(child.waitLine("MAIN"), qPrintable(child.output()));
    QVERIFY(sim.control("unplug"));
    QVERIFY(sim.waitFinished());
    const double share = CpuShare(child.pid(), 1000);
    QVERIFY2(share >= 0 && share < 0.2, qPrintable(QStringLiteral("cpu share %1").arg(share)));
    QVERIFY(child.boxes().isEmpty());
    child.askToClose();
    QVERIFY2(child.waitFinished(), qPrintable(child.output()));
    QCOMPARE(child.exitCode(), 0);
    QVERIFY(child.boxes().isEmpty());
}

// Pulled while the time-interval window waits between two readings: the
// next reading finds the device gone.
void TestUnplug::unplugDuringTheIntervalWait() {
    SimProcess sim;
    QVERIFY(sim.started());
    QTemporaryDir dir;
    const QString file = dir.filePath("interval.csv");
    Child child;
    child.setEnv(QStringLiteral("ORVEN_FAULT_INTERVAL"), QStringLiteral("1"));
    child.start(QStringLiteral("time"), sim, file, 1000);
    QVERIFY(PollUntil([&] { return Count(sim.received(), kMeasBatt) >= 2; }));
    // The second reading is answered at once; the wait after it runs.
    QVERIFY(PollUntil([&] { return ReadAll(file).count('\n') >= 3; }));
    QVERIFY(sim.control("unplug"));
    QVERIFY2(child.waitLine("BOX|"), qPrintable(child.output()));
    QVERIFY2(child.waitFinished(), qPrintable(child.output()));
    QCOMPARE(child.exitCode(), 1);
    QCOMPARE(child.boxes(), QStringList{kFatalBox});
    QList<QByteArray> rows;
    QVERIFY(WholeLines(ReadAll(file), &rows));
    QCOMPARE(rows.takeFirst(), QByteArray("Time,Resistance,Voltage"));
    // A query may just have gone out as the device vanished.
    const int asked = Count(sim.received(), kMeasBatt);
    QVERIFY(rows.size() >= 2 && rows.size() >= asked - 1 && rows.size() <= asked);
    for (const QByteArray& r : rows) QVERIFY(kTimedRow.match(QString::fromLatin1(r)).hasMatch());
}

int main(int argc, char** argv) {
    FAULT::RunChildIfAsked(argc, argv);
    TESTENV::UseTemporarySettings();
    QApplication app(argc, argv);
    TestUnplug tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_unplug.moc"
