// The external-trigger window end to end: one row per trigger, Close taking
// effect at the next trigger, the hold released and the window gone at the
// end, whichever way the loop ends; rows graded from OK while grading is on.
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

#include "frm_extio.h"
#include "logging_fixture.h"
#include "twips.h"
#include "rs_lib32.h"

using namespace LT;

namespace {
const QByteArray kSetup = ":HEAD OFF;:HOLD OFF;:MOD?;:SAMP?;:COMP?\r\n";
const QByteArray kTrig = ":HOLD ON;*TRG;*WAI;:SAMP?\r\n";
const QByteArray kHeld = ":HEAD OFF;:MOD?;:SAMP?;:COMP?\r\n";
const QByteArray kHoldOff = ":HOLD OFF\r\n";
}  // namespace

class TestExtIoWindow : public QObject {
    Q_OBJECT

    Bench b;
    std::unique_ptr<Modals> modals;

    Frm_ExtIo* open() {
        LOGGING::MnuMeasIo_Click();
        return LOGGING::ExtIoWindow();
    }
    int seen(const QByteArray& what) { return int(b.sim->received().count(what)); }
    void answer(const QByteArray& bytes) { QVERIFY(b.sim->control("send " + bytes.toHex())); }
    // Ends a loop a failed test left waiting, so the test itself can end.
    Script::Act rescue() {
        return [this] {
            if (Frm_ExtIo* w = LOGGING::ExtIoWindow()) w->Cmd_End_Click();
            b.sim->control("silent off");
            b.sim->trigger();
            QTimer::singleShot(500, [this] { b.sim->trigger(); });
        };
    }
    void useCsv(const QString& file) {
        SETTING::SaveSetting("Configuration", "ExtIo Meas Output Method", "0");
        SETTING::SaveSetting("Configuration", "ExtIo Meas File", file);
    }

private slots:
    void init() { modals.reset(new Modals); }
    void cleanup() {
        modals.reset();
        b.down();
    }

    void loadAndPanels();
    void csvRowPerTrigger_data();
    void csvRowPerTrigger();
    void closeWhileRowIsTakenEndsAtNextTrigger();
    void frameCloseActsAsClose();
    void sheetRowsAndQuitBetweenTriggers();
    void sheetMissingAtTriggerEndsLoop();
    void failureInLoopEndsAndReleasesHold();
};

void TestExtIoWindow::loadAndPanels() {
    QVERIFY(!LOGGING::AnsInExtIoMeasMode());   // never opened
    b.up({});
    Frm_ExtIo* w = open();
    QVERIFY(w);
    QVERIFY(SETTING::GetFormExtIoOpen());
    QCOMPARE(w->windowTitle(), QString("Loading Measurement Data (by external I/O trigger)"));
    QCOMPARE(w->Lbl_Title->text(),
             QString("When an input signal is changed from \"H\" to \"L\",  it loads measurement data into the PC."));
    QCOMPARE(w->Lbl_End->text(), QString("Please re-input trigger to end this function."));
    QCOMPARE(w->DefaultButton(), w->Cmd_End);
    QCOMPARE(w->Frame1->geometry().left(), TWIPS::ToPxX(185));
    QVERIFY(w->OpnMethod[1]->isChecked());
    QCOMPARE(SETTING::GetSetting("Configuration", "ExtIo Meas Output Method", "x"), QString("1"));
    QVERIFY(!LOGGING::AnsInExtIoMeasMode());
    // Cancel in set-up closes without a question and stores the position.
    TWIPS::SetTop(LOGGING::ExtIoForm(), 2400);
    w->Cmd_Cancel->click();
    QVERIFY(!LOGGING::ExtIoWindow());
    QVERIFY(!SETTING::GetFormExtIoOpen());
    QCOMPARE(SETTING::GetSetting("Form ExtIo", "Top", "x"), QString("2400"));
    QCOMPARE(b.sim->received(), kSetup.left(0));   // nothing sent
}

void TestExtIoWindow::csvRowPerTrigger_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("row");
    QTest::newRow("RV off") << QStringList{"--mode", "RV"} << QByteArray(":MEAS:BATT?\r\n")
                            << QByteArray("012.34E-3,+12.345E+0\r\n");
    QTest::newRow("RV off, graded") << QStringList{"--mode", "RV"} << QByteArray(":MEAS:BATT?\r\n")
                                    << QByteArray("012.34E-3,+12.345E+0,A,\r\n");
    QTest::newRow("RV on") << QStringList{"--mode", "RV", "--comp", "1", "--comp-result", "LO"}
                           << QByteArray(":MEAS:BATT?\r\n") << QByteArray("012.34E-3,+12.345E+0,LO\r\n");
    QTest::newRow("R off") << QStringList{"--mode", "R"} << QByteArray(":MEAS:RES?\r\n")
                           << QByteArray("012.34E-3\r\n");
    QTest::newRow("R on") << QStringList{"--mode", "R", "--comp", "1", "--res", "1.0000E+9"}
                          << QByteArray(":MEAS:RES?\r\n") << QByteArray("1.0000E+9,IN\r\n");
}

void TestExtIoWindow::csvRowPerTrigger() {
    QFETCH(QStringList, simArgs);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, row);
    const bool graded = QTest::currentDataTag() == QByteArray("RV off, graded");
    b.up(simArgs);
    if (graded) {
        writeFile(b.path("cells.grading"), "[bin]\nname = A\nresistance low = 10m\nresistance high = 15m\n");
        SETTING::SaveGradingEnabled(true);
        SETTING::SaveGradingProfile(b.path("cells.grading"));
    }
    const QString file = b.path("trig.csv");
    writeFile(file, "kept\r\n");
    useCsv(file);
    Frm_ExtIo* w = open();
    QByteArray afterFirst;
    bool inMode = false, endShown = false;
    QString waitingText;
    Script s(rescue());
    s.when([&] { return seen(kTrig) == 1; },
           [&] {
               inMode = LOGGING::AnsInExtIoMeasMode() && w->Picture1[1]->isVisible();
               b.sim->trigger();
           })
        .when([&] { return seen(kTrig) == 2; },
              [&] {
                  // The next trigger line goes out only after the row is written.
                  afterFirst = readFile(file);
                  waitingText = w->Lbl_Trig->text();
                  b.sim->trigger();
              })
        .when([&] { return seen(kTrig) == 3; },
              [&] {
                  QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // the default button: Close
                  endShown = w->Lbl_End->isVisible() && !w->Lbl_Trig->isVisible() &&
                             !w->Lbl_Title->isVisible() && !w->Cmd_End->isEnabled();
                  b.sim->trigger();
              });
    QCOMPARE(TESTENV::KeyTarget(), w->Cmd_Ok);
    s.start([] { QVERIFY(TESTENV::PressKey(Qt::Key_Space)); });   // OK; runs the whole loop
    QVERIFY2(!s.failed(), qPrintable(s.why()));
    QVERIFY(inMode);
    QVERIFY(endShown);
    QCOMPARE(waitingText, QString("Waiting for trigger...."));
    QCOMPARE(afterFirst, "kept\r\n" + row);
    QCOMPARE(readFile(file), "kept\r\n" + row + row);   // the closing trigger adds nothing
    const QByteArray one = kTrig + kHeld + command;
    QCOMPARE(b.received(kTrig + kHoldOff), kSetup + one + one + kTrig + kHoldOff);
    // Each measurement waited for the clock's next second, sleeping to it.
    QCOMPARE(b.clock.sleeps, (QList<int>{600, 1000}));
    QCOMPARE(modals->count(), 0);
    // The loop's end: file closed, window gone with its position stored.
    QCOMPARE(OUTFILES::FreeFile(), 1);
    QVERIFY(!LOGGING::ExtIoWindow());
    QVERIFY(!SETTING::GetFormExtIoOpen());
    QVERIFY(SETTING::GetSetting("Form ExtIo", "Top", "").toInt() > 0);
}

void TestExtIoWindow::closeWhileRowIsTakenEndsAtNextTrigger() {
    // Answered by hand, so that Close lands while the held setup query waits.
    b.up({"--silent"});
    const QString file = b.path("late-close.csv");
    useCsv(file);
    Frm_ExtIo* w = open();
    QByteArray rowBeforeNextTrigger;
    Script s(rescue());
    s.when([&] { return seen(":COMP?") == 1; }, [&] { answer("R;FAST;0\r\n"); })
        .when([&] { return seen(kTrig) == 1; }, [&] { answer("FAST\r\n"); })
        .when([&] { return seen(":COMP?") == 2; },
              [&] {
                  QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // Close
                  answer("R;FAST;0\r\n");
              })
        .when([&] { return seen(":MEAS:RES?") == 1; }, [&] { answer("5E-3\r\n"); })
        .when([&] { return seen(kTrig) == 2; },
              [&] {
                  rowBeforeNextTrigger = readFile(file);
                  // The closing trigger, with a stray line behind it that the
                  // end of the loop must not leave at the port.
                  answer("FAST\r\n7E-3\r\n");
              });
    s.start([] { QVERIFY(TESTENV::PressKey(Qt::Key_Space)); });   // OK
    QVERIFY2(!s.failed(), qPrintable(s.why()));
    QCOMPARE(rowBeforeNextTrigger, QByteArray("5E-3\r\n"));
    QCOMPARE(readFile(file), QByteArray("5E-3\r\n"));
    QCOMPARE(b.received(kHoldOff), kSetup + kTrig + kHeld + ":MEAS:RES?\r\n" + kTrig + kHoldOff);
    QCOMPARE(RS_LIB32::ProgramLink().InputQueueCount(), qint64(0));
    QCOMPARE(modals->count(), 0);
    QVERIFY(!LOGGING::ExtIoWindow());
}

void TestExtIoWindow::frameCloseActsAsClose() {
    b.up({});
    b.sheets->running = std::make_shared<SHEET::MemorySheet>();
    Frm_ExtIo* w = open();
    bool stayed = false;
    Script s(rescue());
    s.when([&] { return seen(kTrig) == 1; },
           [&] {
               stayed = !LOGGING::ExtIoForm()->close() && LOGGING::ExtIoWindow() == w && w->FlagStop &&
                        w->Lbl_End->isVisible();
               b.sim->trigger();
           });
    s.start([w] { w->Cmd_Ok->click(); });
    QVERIFY2(!s.failed(), qPrintable(s.why()));
    QVERIFY(stayed);
    QVERIFY(!LOGGING::ExtIoWindow());
    QCOMPARE(b.received(kHoldOff), kSetup + kTrig + kHoldOff);
    QCOMPARE(b.sheets->running->rows(2, 1), (QStringList{"Resistance", ""}));   // header only
}

void TestExtIoWindow::sheetRowsAndQuitBetweenTriggers() {
    b.up({"--mode", "RV", "--comp", "1"});
    auto first = std::make_shared<SHEET::MemorySheet>();
    b.sheets->running = first;
    Frm_ExtIo* w = open();
    bool closedByKey = false;
    Script s(rescue());
    s.when([&] { return seen(kTrig) == 1; }, [&] { b.sim->trigger(); })
        .when([&] { return seen(kTrig) == 2; },
              [&] {
                  b.sheets->quit();   // the operator quits between triggers
                  b.sim->trigger();
              })
        .when([&] { return seen(kTrig) == 3; },
              [&] {
                  // An office was started for the last row; Return is still Close.
                  QVERIFY(TESTENV::PressKey(Qt::Key_Return));
                  closedByKey = w->FlagStop != 0;
                  if (!closedByKey) w->Cmd_End_Click();
                  b.sim->trigger();
              });
    s.start([w] { w->Cmd_Ok->click(); });
    QVERIFY2(!s.failed(), qPrintable(s.why()));
    QVERIFY(closedByKey);
    QCOMPARE(first->rows(3, 3), (QStringList{"Resistance|Voltage|Comp", "012.34E-3|+12.345E+0|IN", "||"}));
    auto second = b.sheets->running;
    QVERIFY(second && second != first);
    QVERIFY(second->visible);
    QCOMPARE(second->rows(3, 3), (QStringList{"Resistance|Voltage|Comp", "012.34E-3|+12.345E+0|IN", "||"}));
    QCOMPARE(modals->count(), 0);
}

void TestExtIoWindow::sheetMissingAtTriggerEndsLoop() {
    b.up({});
    b.sheets->running = std::make_shared<SHEET::MemorySheet>();
    Frm_ExtIo* w = open();
    Script s(rescue());
    s.when([&] { return seen(kTrig) == 1; },
           [&] {
               b.sheets->quit();
               b.sheets->canCreate = false;
               b.sim->trigger();
           });
    s.start([w] { w->Cmd_Ok->click(); });
    QVERIFY2(!s.failed(), qPrintable(s.why()));
    QCOMPARE(modals->texts(), QStringList{"There is not Excel in this personal computer."});
    QCOMPARE(b.received(kHoldOff), kSetup + kTrig + kHeld + ":MEAS:BATT?\r\n" + kHoldOff);
    QVERIFY(!LOGGING::ExtIoWindow());
}

void TestExtIoWindow::failureInLoopEndsAndReleasesHold() {
    // Answered by hand; the reading has one field too many.
    b.up({"--silent"});
    const QString file = b.path("fail.csv");
    useCsv(file);
    Frm_ExtIo* w = open();
    Script s(rescue());
    s.when([&] { return seen(":COMP?") == 1; }, [&] { answer("RV;FAST;0\r\n"); })
        .when([&] { return seen(kTrig) == 1; }, [&] { answer("FAST\r\n"); })
        .when([&] { return seen(":COMP?") == 2; }, [&] { answer("RV;FAST;0\r\n"); })
        .when([&] { return seen(":MEAS:BATT?") == 1; }, [&] { answer("1E-3,2E+0,IN,7\r\n"); });
    s.start([w] { w->Cmd_Ok->click(); });
    QVERIFY2(!s.failed(), qPrintable(s.why()));
    QCOMPARE(modals->texts(), QStringList{"The error occurred."});
    QCOMPARE(modals->last().icon, int(QMessageBox::Warning));
    QCOMPARE(b.received(kHoldOff), kSetup + kTrig + kHeld + ":MEAS:BATT?\r\n" + kHoldOff);
    QCOMPARE(readFile(file), QByteArray());
    QCOMPARE(OUTFILES::FreeFile(), 1);
    QVERIFY(!LOGGING::ExtIoWindow());
    QVERIFY(!SETTING::GetFormExtIoOpen());
}

ORVEN_TEST_MAIN(TestExtIoWindow)
#include "test_extio_window.moc"
