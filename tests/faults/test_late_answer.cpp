// The instrument answers a reading only after the program gave up on it. The
// run that timed out ends with its message; the late answer (whole, or its
// first part only) must not become the answer to a query of the next run, or
// every row of that run is shifted by one answer.
#include <QAbstractButton>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "in_process.h"
#include "frm_time.h"
#include "rs_lib32.h"

using namespace LT;

class TestLateAnswer : public QObject, FAULT::InProcess {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void lateAnswerIsNotTheNextOne_data() {
        QTest::addColumn<QByteArray>("late");   // arrives before the next run
        QTest::addColumn<QByteArray>("rest");   // arrives once the next run asked
        QTest::newRow("whole line") << QByteArray("2E-3,+2E+0\r\n") << QByteArray();
        QTest::newRow("line cut in two") << QByteArray("2E-3,+2") << QByteArray("E+0\r\n");
    }
    void lateAnswerIsNotTheNextOne() {
        QFETCH(QByteArray, late);
        QFETCH(QByteArray, rest);
        b.up({"--silent"});
        const QString first = tmp->filePath("first.csv");
        const QString second = tmp->filePath("second.csv");
        modals->fileAnswers << first << second;
        LOGGING::MnuMeasTime_Click();
        Frm_Time* t = LOGGING::TimeWindow();
        QVERIFY(t);
        t->OpnMethod[0]->setChecked(true);

        // First run: one reading, then no answer until the program gives up.
        Script s1({}, 60000);
        s1.when([&] { return seen(":COMP?") == 1; }, [&] { answer("RV;FAST;0\r\n"); })
            .when([&] { return seen(":MEAS:") == 1; }, [&] { answer("1E-3,+1E+0\r\n"); });
        s1.start();
        t->Cmd[1]->click();
        QCOMPARE(modals->last().text, QString("The error occurred. "));
        QCOMPARE(readFile(first), QByteArray("Time,Resistance,Voltage\r\n09:05:30,1E-3,+1E+0\r\n"));

        // The answer to the abandoned reading comes in now.
        answer(late);
        QVERIFY(pollUntil([&] { return RS_LIB32::ProgramLink().InputQueueCount() >= late.size(); }));

        // Second run, one reading.
        Script s2;
        s2.when([&] { return seen(":COMP?") == 2; }, [&] { answer(rest + "RV;FAST;0\r\n"); })
            .when([&] { return seen(":MEAS:") == 3; }, [&] { answer("3E-3,+3E+0\r\n"); });
        s2.start();
        t->Text_Count->setText("1");
        t->Cmd[1]->click();
        QVERIFY(!s2.failed());
        QCOMPARE(modals->last().text, QString("Measurement ended."));
        QCOMPARE(readFile(second), QByteArray("Time,Resistance,Voltage\r\n09:05:30,3E-3,+3E+0\r\n"));
    }
};

ORVEN_TEST_MAIN(TestLateAnswer)
#include "test_late_answer.moc"
