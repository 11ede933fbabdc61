// Odd answers on the line reaching a logging window: control bytes, bytes
// above 127, the instrument's special values, empty fields, fields the mode
// does not deliver, a comparator number beyond 16 bits, and a line that never
// ends. Each must end as the window's row (or its one message), with the
// window ready for the next reading and memory bounded.
#include <QAbstractButton>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QtTest>

#include "in_process.h"
#include "frm_single.h"
#include "frm_time.h"

using namespace LT;

namespace {
qint64 PeakRssKb() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith("VmHWM:")) return l.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}
}  // namespace

class TestLineGarbage : public QObject, FAULT::InProcess {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void oddAnswersBecomeRows_data() {
        QTest::addColumn<QByteArray>("setup");    // the answer to the setup query
        QTest::addColumn<QByteArray>("reading");  // the answer to the reading ("" = none asked)
        QTest::addColumn<QByteArray>("header");   // the time window's first line
        QTest::addColumn<QByteArray>("row");      // fields of the row; "-" = no row, an error
        QTest::newRow("control bytes vanish, DEL stays")
            << QByteArray("RV;FAST;0\r\n") << QByteArray("0\x01\x02" "12.\t34E-3\r,+12.345E+0\x1b\x7f\r\n")
            << QByteArray("Time,Resistance,Voltage") << QByteArray("012.34E-3,+12.345E+0\x7f");
        QTest::newRow("bytes above 127 kept as they are")
            << QByteArray("RV;FAST;0\r\n") << QByteArray("\xb5\xff" "1.0E-3,+2.0E+0\x80\r\n")
            << QByteArray("Time,Resistance,Voltage") << QByteArray("\xb5\xff" "1.0E-3,+2.0E+0\x80");
        QTest::newRow("special values")
            << QByteArray("RV;FAST;1\r\n") << QByteArray("1.0000E+8,+1.0000E+9,HI\r\n")
            << QByteArray("Time,Resistance,Voltage,Comp") << QByteArray("1.0000E+8,+1.0000E+9,HI");
        QTest::newRow("empty fields") << QByteArray("RV;FAST;0\r\n") << QByteArray(",\r\n")
                                      << QByteArray("Time,Resistance,Voltage") << QByteArray("");
        QTest::newRow("empty voltage hides the comparator")
            << QByteArray("RV;FAST;1\r\n") << QByteArray("1E-3,,HI\r\n")
            << QByteArray("Time,Resistance,Voltage,Comp") << QByteArray("1E-3");
        QTest::newRow("field the mode does not deliver")
            << QByteArray("R;FAST;0\r\n") << QByteArray("5E-3,+9.9E+0\r\n") << QByteArray("Time,Resistance")
            << QByteArray("5E-3");
        QTest::newRow("comparator beyond 16 bits")
            << QByteArray("RV;FAST;70000\r\n") << QByteArray() << QByteArray() << QByteArray("-");
        QTest::newRow("comparator not a number")
            << QByteArray("RV;FAST;\xff\xfe\r\n") << QByteArray("1E-3,+1E+0\r\n")
            << QByteArray("Time,Resistance,Voltage") << QByteArray("1E-3,+1E+0");
    }

    void oddAnswersBecomeRows() {
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, reading);
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, row);
        const bool fails = row == "-";

        // The return-key window: OK asks once, every Load asks again.
        b.up({"--silent"});
        const QString loaded = tmp->filePath("loaded.csv");
        Script s1;
        s1.when([&] { return seen(":COMP?") == 1; }, [&] { answer("RV;FAST;0\r\n"); })
            .when([&] { return seen(":COMP?") == 2; }, [&] { answer(setup); });
        if (!reading.isEmpty()) s1.when([&] { return seen(":MEAS:") == 1; }, [&] { answer(reading); });
        s1.start();
        Frm_Single* w = readySingle(loaded);
        QVERIFY(w);
        w->Cmd_Ok->click();
        w->Cmd_Trig->click();
        QVERIFY(!s1.failed());
        QCOMPARE(modals->texts(), fails ? QStringList{"The error occurred."} : QStringList{});
        QCOMPARE(readFile(loaded), fails ? QByteArray() : row + "\r\n");
        QVERIFY(w->Cmd_Trig->isEnabled() && w->Picture1[1]->isVisible());
        b.down();
        modals.reset(new Modals);

        // The time-interval window, one reading.
        b.up({"--silent"});
        const QString timed = tmp->filePath("timed.csv");
        modals->fileAnswers << timed;
        Script s2;
        s2.when([&] { return seen(":COMP?") == 1; }, [&] { answer(setup); });
        if (!reading.isEmpty()) s2.when([&] { return seen(":MEAS:") == 1; }, [&] { answer(reading); });
        s2.start();
        LOGGING::MnuMeasTime_Click();
        Frm_Time* t = LOGGING::TimeWindow();
        QVERIFY(t);
        t->Text_Count->setText("1");
        t->OpnMethod[0]->setChecked(true);
        t->Cmd[1]->click();
        QVERIFY(!s2.failed());
        QCOMPARE(modals->texts(), (QStringList{"", fails ? "The error occurred. " : "Measurement ended."}));
        QCOMPARE(readFile(timed), fails ? QByteArray() : header + "\r\n09:05:30," + row + "\r\n");
        QVERIFY(t->Cmd[1]->isVisible());
        QCOMPARE(OUTFILES::FreeFile(), 1);
    }

    // Random bytes (control bytes, separators and 128-255 among them) run
    // into an answer in the middle of a run at interval 0: the run ends with
    // its message, the file keeps its whole rows, and the next run is clean.
    void randomGarbageMidRun() {
        b.up({"--silent"});
        const QString first = tmp->filePath("garbled.csv");
        const QString second = tmp->filePath("after.csv");
        modals->fileAnswers << first << second;
        QRandomGenerator rng(77);
        QByteArray garbage;
        while (garbage.size() < 3000) {
            const char c = char(rng.bounded(256u));
            if (c != '\n') garbage += c;
        }
        const QByteArray reading = "012.34E-3,+12.345E+0\r\n";
        LOGGING::MnuMeasTime_Click();
        Frm_Time* t = LOGGING::TimeWindow();
        QVERIFY(t);
        Script s;
        s.when([&] { return seen(":COMP?") == 1; }, [&] { answer("RV;FAST;0\r\n"); });
        for (int n = 1; n <= 5; ++n) s.when([&, n] { return seen(":MEAS:") == n; }, [&] { answer(reading); });
        s.when([&] { return seen(":MEAS:") == 6; }, [&] { answer(garbage + reading); })
            .then([&] { QVERIFY(b.sim->control("silent off")); });
        s.start();
        t->OpnMethod[0]->setChecked(true);
        t->Cmd[1]->click();
        QVERIFY(!s.failed());
        QCOMPARE(modals->last().text, QString("The error occurred. "));
        const QByteArray row = "09:05:30," + reading;
        QCOMPARE(readFile(first), "Time,Resistance,Voltage\r\n" + row + row + row + row + row);

        // Nothing of the garbage is left for the next run.
        QVERIFY(s.done());
        t->Text_Count->setText("2");
        t->Cmd[1]->click();
        QCOMPARE(modals->last().text, QString("Measurement ended."));
        QCOMPARE(readFile(second), "Time,Resistance,Voltage\r\n" + row + row);
    }

    // A reading whose line runs on for megabytes: the line is cut at the cap,
    // the reading fails once, the rest is read away, memory stays bounded,
    // and the next reading is logged.
    void endlessLineIsCutAndMemoryBounded() {
        b.up({"--silent"});
        const QString file = tmp->filePath("endless.csv");
        const int megabytes = 8;   // the simulator sends at most 1 MB per command
        Script s({}, 60000);
        s.when([&] { return seen(":COMP?") == 1; }, [&] { answer("RV;FAST;0\r\n"); })
            .when([&] { return seen(":COMP?") == 2; }, [&] { answer("RV;FAST;0\r\n"); })
            .when([&] { return seen(":MEAS:") == 1; },
                  [&] {
                      for (int i = 0; i < megabytes; ++i) QVERIFY(b.sim->control("overlong 1000000"));
                  })
            // The endless line finally ends; then the next setup answer.
            .when([&] { return seen(":COMP?") == 3; }, [&] { answer("\r\nRV;FAST;0\r\n"); })
            .when([&] { return seen(":MEAS:") == 2; }, [&] { answer("7E-3,+1E+0\r\n"); });
        s.start();
        Frm_Single* w = readySingle(file);
        QVERIFY(w);
        w->Cmd_Ok->click();
        const qint64 before = PeakRssKb();
        w->Cmd_Trig->click();
        QCOMPARE(modals->texts(), QStringList{"The error occurred."});
        QVERIFY(w->Cmd_Trig->isEnabled());
        w->Cmd_Trig->click();
        QVERIFY(!s.failed());
        QCOMPARE(modals->count(), 1);
        QCOMPARE(readFile(file), QByteArray("7E-3,+1E+0\r\n"));
        const qint64 grown = PeakRssKb() - before;
        QVERIFY2(before > 0 && grown < megabytes * 1024 / 2, qPrintable(QStringLiteral("peak grew by %1 kB").arg(grown)));
    }
};

ORVEN_TEST_MAIN(TestLineGarbage)
#include "test_line_garbage.moc"
