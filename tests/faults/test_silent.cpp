// The instrument stops answering in the middle of a logging activity, in a
// real child process: the program sleeps while it waits, can still be closed
// from its main window, and the file keeps every row logged before.
#include <QtTest>

#include "fault_child.h"
#include "fault_parent.h"
#include "test_env.h"

using namespace FAULT;

class TestSilent : public QObject {
    Q_OBJECT
private slots:
    void closingFromTheMainWindowKeepsTheRows_data() {
        QTest::addColumn<QString>("run");
        QTest::newRow("time-interval run") << "time";
        QTest::newRow("return-key reading") << "single";
        QTest::newRow("trigger loop") << "extio";
    }

    void closingFromTheMainWindowKeepsTheRows() {
        QFETCH(QString, run);
        const bool extio = run == QLatin1String("extio");
        SimProcess sim(extio ? QStringList{"--trigger-interval", "5"} : QStringList{});
        QVERIFY(sim.started());
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("quiet ünïcode 'run'.csv"));
        Child child;
        child.start(run, sim, file);
        QVERIFY2(child.waitLine("START"), qPrintable(child.output()));
        const QByteArray marker = extio ? kWaitTrigger : kMeasBatt;
        QVERIFY(PollUntil([&] { return Count(sim.received(), marker) >= 4; }));

        // Silence lands between two exchanges; the next query then goes
        // unanswered. (The trigger loop may already sit in an endless trigger
        // wait that silence leaves as it is.)
        QVERIFY(sim.control("silent on"));
        QByteArray atSilence = sim.received();
        if (!extio) {
            atSilence = WaitForUnansweredQuery(sim);
            QVERIFY(!atSilence.isEmpty());
        }
        const double share = CpuShare(child.pid(), 1000);
        QVERIFY2(share >= 0 && share < 0.2, qPrintable(QStringLiteral("cpu share %1").arg(share)));
        QVERIFY(child.running());
        QVERIFY(child.boxes().isEmpty());

        child.askToClose();
        QVERIFY2(child.waitFinished(), qPrintable(child.output()));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QVERIFY(child.hasLine("CLOSING"));
        QVERIFY(!child.hasLine("CLOSE REFUSED"));
        QVERIFY(!child.hasLine("EXEC RETURNED"));
        // Only the trigger window's run asks before the program ends.
        const QStringList boxes = child.boxes();
        if (extio) {
            QCOMPARE(boxes.size(), 1);
            QVERIFY2(boxes[0].startsWith(QLatin1String("0|End of 5927 application|")), qPrintable(boxes[0]));
        } else {
            QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join('\n')));
        }

        const QByteArray bytes = ReadAll(file);
        QList<QByteArray> rows;
        QVERIFY2(WholeLines(bytes, &rows), bytes.right(200).constData());
        if (!extio && run == QLatin1String("time")) QCOMPARE(rows.takeFirst(), QByteArray("Time,Resistance,Voltage"));
        const QRegularExpression& shape = run == QLatin1String("time") ? kTimedRow : kLoadedRow;
        for (const QByteArray& r : rows) QVERIFY2(shape.match(QString::fromLatin1(r)).hasMatch(), r.constData());
        const int before = Count(atSilence, marker);
        const int all = Answered(sim.received(), marker);
        QVERIFY2(rows.size() >= before - 1 && rows.size() <= all,
                 qPrintable(QStringLiteral("%1 rows, %2 then %3 queries").arg(rows.size()).arg(before).arg(all)));
    }
};

int main(int argc, char** argv) {
    FAULT::RunChildIfAsked(argc, argv);
    TESTENV::UseTemporarySettings();
    QApplication app(argc, argv);
    TestSilent tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_silent.moc"
