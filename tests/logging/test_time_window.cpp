// The time-interval window end to end against the simulator: command lines,
// CSV bytes, the worksheet layout, the interval wait on its timer, Stop, the
// error paths, and the window's own load, unload and key handling; a run
// graded by the profile chosen in the settings, and a damaged one.
#include <signal.h>
#include <sys/resource.h>

#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "followed.h"
#include "frm_disp.h"
#include "frm_time.h"
#include "logging_fixture.h"
#include "twips.h"
#include "frame.h"

using namespace LT;

namespace {
const char kSetupQuery[] = ":HEAD OFF;:HOLD OFF;:MOD?;:SAMP?;:COMP?";
const char kEnded[] = "Measurement ended.";
const char kTitle[] = "ORVEN 5927 Application";

// An 18650 profile as an operator writes it in an editor.
const char kProfile18650[] = "# ORVEN 5927 grading profile\n"
                             "name = 18650 incoming\n\n"
                             "[bin]\nname = A\ncolour = #00a000\nresistance low = 15m\nresistance high = 18.5m\n"
                             "voltage low = 3.60\nvoltage high = 3.70\n\n"
                             "[bin]\nname = B\ncolour = #a0a000\nresistance low = 18.5m\nresistance high = 22m\n"
                             "voltage low = 3.55\nvoltage high = 3.75\n\n"
                             "[bin]\nname = C\ncolour = #e08000\nresistance low = 22m\nresistance high = 30m\n";

// The [Grading] section as typed into the settings file.
void WriteGradingSettings(bool enabled, const QString& profile) {
    const QString path = QSettings(QStringLiteral("ORVEN"), QStringLiteral("ORVEN 5927 RS")).fileName();
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile::remove(path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Grading]\nEnabled=" + QByteArray(enabled ? "1" : "0") + "\nProfile=" + profile.toUtf8() + "\n");
}
}  // namespace

class TestTimeWindow : public QObject {
    Q_OBJECT

    Bench b;
    std::unique_ptr<Modals> modals;

    Frm_Time* open() {
        LOGGING::MnuMeasTime_Click();
        return LOGGING::TimeWindow();
    }
    // Starts a run (blocking until it ends) with the given inputs.
    void start(Frm_Time* w, const QString& interval, const QString& count, bool csv) {
        w->Text_Time->setText(interval);
        w->Text_Count->setText(count);
        w->OpnMethod[csv ? 0 : 1]->setChecked(true);
        w->Cmd[1]->click();
    }
    std::shared_ptr<SHEET::MemorySheet> freshSheet() {
        b.sheets->running = std::make_shared<SHEET::MemorySheet>();
        return b.sheets->running;
    }

private slots:
    void init() { modals.reset(new Modals); }
    void cleanup() {
        modals.reset();
        b.down();
    }

    void loadsWithDesignStateAndRemembersPosition();
    void keyFilterTakesDigitsOnly();
    void returnKeyStartsAndStops();
    void stopBeforeFirstReadingHasNoEffect();
    void csvRun_data();
    void csvRun();
    void shortAnswerDoesNotReuseOldFields();
    void intervalOutOfRangeIsRefused_data();
    void intervalOutOfRangeIsRefused();
    void intervalWaitTicks_data();
    void intervalWaitTicks();
    void stopDuringWaitClosesTheFile();
    void untilStopRunsPast16BitCounter();
    void csvFailures();
    void writeFailureKeepsWrittenRows();
    void sheetHeaderByConfiguration_data();
    void sheetHeaderByConfiguration();
    void sheetNamesContinueAcrossRuns();
    void sheetScrollsFromRow16_data();
    void sheetScrollsFromRow16();
    void sheetMissingOrFailing();
    void gradedCsvRun_data();
    void gradedCsvRun();
    void damagedProfileWarnsAndRunsUngraded();
};

void TestTimeWindow::loadsWithDesignStateAndRemembersPosition() {
    b.up({});
    Frm_Time* w = open();
    QVERIFY(w);
    QVERIFY(SETTING::GetFormTimeOpen());
    QCOMPARE(w->windowTitle(), QString("Time Interval Measurement"));
    QCOMPARE(w->Text_Time->text(), QString("0"));
    QCOMPARE(w->Text_Count->text(), QString("0"));
    QCOMPARE(w->Text_Time->maxLength(), 4);
    QCOMPARE(w->Text_Count->maxLength(), 5);
    QVERIFY(w->OpnMethod[1]->isChecked());
    QCOMPARE(w->OpnMethod[0]->text(), QString("Text File(CSV Format)"));
    QCOMPARE(w->Frame1->title(), QString("Output Source of Data"));
    QCOMPARE(w->Label1[2]->text(), QString("Range: 0 - 3600"));
    QVERIFY(w->Cmd[1]->isVisible());
    QVERIFY(!w->Cmd[2]->isVisible());
    QCOMPARE(w->DefaultButton(), w->Cmd[1]);
    QVERIFY(!w->Timer1->isActive());
    QCOMPARE(w->Timer1->interval(), 1000);
    QCOMPARE(w->Cmd[1]->geometry(), QRect(TWIPS::ToPxX(3375), TWIPS::ToPxY(1050), TWIPS::ToPxX(1155),
                                          TWIPS::ToPxY(405)));
    QCOMPARE(w->size(), QSize(TWIPS::ToPxX(4815), TWIPS::ToPxY(2190)));

    // Nothing stored: just below the display window, at the left edge.
    QWidget* form = LOGGING::TimeForm();
    QVERIFY(form);
    QVERIFY(qAbs(TWIPS::Top(form) - TWIPS::Height(FRAME::DispForm())) <= 15);
    QCOMPARE(TWIPS::Left(form), 0);

    // Typed text is not kept: a reopened window starts from "0" and Excel.
    w->Text_Time->setText("12");
    w->OpnMethod[0]->setChecked(true);
    TWIPS::SetTop(form, 1500);
    TWIPS::SetLeft(form, 3000);
    QVERIFY(form->close());
    QVERIFY(!LOGGING::TimeWindow());
    QVERIFY(!SETTING::GetFormTimeOpen());
    QCOMPARE(SETTING::GetSetting("Form Time", "Top", "x"), QString::number(TWIPS::Top(form)));
    QCOMPARE(SETTING::GetSetting("Form Time", "Left", "x"), QString("3000"));

    w = open();
    QVERIFY(w);
    QCOMPARE(w->Text_Time->text(), QString("0"));
    QVERIFY(w->OpnMethod[1]->isChecked());
    QCOMPARE(TWIPS::Left(LOGGING::TimeForm()), 3000);
}

void TestTimeWindow::keyFilterTakesDigitsOnly() {
    b.up({});
    Frm_Time* w = open();
    int beeps = 0;
    LOGGING::SetBeepHook([&] { ++beeps; });
    // Start has the focus at open; Tab leads on to Close, then to the boxes.
    QCOMPARE(TESTENV::KeyTarget(), w->Cmd[1]);
    QVERIFY(TESTENV::PressKey(Qt::Key_Tab));
    QVERIFY(TESTENV::PressKey(Qt::Key_Tab));
    for (QLineEdit* e : {w->Text_Time, w->Text_Count}) {
        QCOMPARE(TESTENV::KeyTarget(), e);
        // Editing keys work as in any line edit: only non-digit text is refused.
        beeps = 0;
        QVERIFY(TESTENV::PressKey(Qt::Key_A, Qt::ControlModifier));
        QVERIFY(TESTENV::PressKey(Qt::Key_Delete));
        QCOMPARE(e->text(), QString());
        QVERIFY(TESTENV::TypeText("13"));
        QVERIFY(TESTENV::PressKey(Qt::Key_Home));
        QVERIFY(TESTENV::PressKey(Qt::Key_Delete));
        QCOMPARE(e->text(), QString("3"));
        QVERIFY(TESTENV::PressKey(Qt::Key_Z, Qt::ControlModifier));
        QCOMPARE(e->text(), QString("13"));
        QVERIFY(TESTENV::PressKey(Qt::Key_A, Qt::ControlModifier));
        QVERIFY(TESTENV::PressKey(Qt::Key_X, Qt::ControlModifier));
        QCOMPARE(e->text(), QString());
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("13"));
        QGuiApplication::clipboard()->setText("12");
        QVERIFY(TESTENV::PressKey(Qt::Key_V, Qt::ControlModifier));
        QCOMPARE(e->text(), QString("12"));
        QCOMPARE(beeps, 0);
        QGuiApplication::clipboard()->setText("1a");
        QVERIFY(TESTENV::PressKey(Qt::Key_V, Qt::ControlModifier));
        QVERIFY(TESTENV::PressKey(Qt::Key_Insert, Qt::ShiftModifier));
        QCOMPARE(e->text(), QString("12"));
        QCOMPARE(beeps, 2);
        e->paste();   // what the context menu's Paste does
        QCOMPARE(e->text(), QString("12"));
        beeps = 0;
        e->clear();
        QVERIFY(TESTENV::TypeText("1a.2-3 "));
        QCOMPARE(e->text(), QString("123"));
        QCOMPARE(beeps, 4);
        QVERIFY(TESTENV::PressKey(Qt::Key_Backspace));
        QCOMPARE(e->text(), QString("12"));
        QCOMPARE(beeps, 4);
        // A compose sequence or an input method may type several characters at once.
        QKeyEvent composed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\u00e95"));
        QApplication::sendEvent(TESTENV::KeyTarget(), &composed);
        QInputMethodEvent committed;
        committed.setCommitString(QStringLiteral("\u00e97"));
        QApplication::sendEvent(TESTENV::KeyTarget(), &committed);
        QCOMPARE(e->text(), QString("12"));
        QCOMPARE(beeps, 6);
        QInputMethodEvent digits;
        digits.setCommitString(QStringLiteral("3"));
        QApplication::sendEvent(TESTENV::KeyTarget(), &digits);
        QCOMPARE(e->text(), QString("123"));
        QVERIFY(TESTENV::PressKey(Qt::Key_Tab));
    }
    QTest::mouseClick(w->Text_Time, Qt::LeftButton);
    QVERIFY(TESTENV::PressKey(Qt::Key_End));
    QVERIFY(TESTENV::TypeText("99999"));
    QCOMPARE(w->Text_Time->text(), QString("1239"));   // four characters at most
}

void TestTimeWindow::returnKeyStartsAndStops() {
    b.up({});
    auto xl = freshSheet();
    Frm_Time* w = open();
    w->Text_Time->setText("5");
    bool stoppedByKey = false;
    // During the run Return is Stop: the first wait ends the run at once.
    Script s([w] { w->Cmd[2]->click(); });
    s.when([w] { return w->Timer1->isActive(); },
           [w, &stoppedByKey] {
               TESTENV::PressKey(Qt::Key_Return);
               stoppedByKey = w->FlagStop != 0;
               if (!stoppedByKey) w->Cmd[2]->click();   // let the test end
               QVERIFY(w->Cmd[2]->isVisible());
               QVERIFY(!w->Cmd[1]->isVisible());
               QVERIFY(!w->Cmd[0]->isVisible());
               QVERIFY(!w->Text_Time->isEnabled());
               QVERIFY(!w->OpnMethod[0]->isEnabled());
               QCOMPARE(w->DefaultButton(), w->Cmd[2]);
           });
    s.start();
    QCOMPARE(TESTENV::KeyTarget(), w->Cmd[1]);
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // Start, focused at open
    QVERIFY(!s.failed());
    QVERIFY(stoppedByKey);
    QVERIFY(s.done());
    QCOMPARE(modals->texts(), QStringList{kEnded});
    QCOMPARE(xl->rows(3, 2), (QStringList{"Time|Resistance", "09:05:30|012.34E-3", "|"}));
    QVERIFY(w->Cmd[1]->isVisible());
    QVERIFY(!w->Cmd[2]->isVisible());
    QVERIFY(w->Text_Time->isEnabled());
    QCOMPARE(w->DefaultButton(), w->Cmd[1]);
    QVERIFY(!w->Timer1->isActive());
}

void TestTimeWindow::stopBeforeFirstReadingHasNoEffect() {
    // Return (Stop) while the setup query is still being answered: the loop
    // clears it when it starts, and the run takes all its readings.
    b.up({"--delay", "150"});
    auto xl = freshSheet();
    Frm_Time* w = open();
    Script s([w] { w->Cmd[2]->click(); });
    s.when([this] { return b.sim->received().contains(":COMP?"); },
           [] { QVERIFY(TESTENV::PressKey(Qt::Key_Return)); });
    s.start();
    start(w, "0", "3", false);
    QVERIFY(!s.failed());
    QCOMPARE(xl->rows(5, 2), (QStringList{"Time|Resistance", "09:05:30|012.34E-3", "09:05:30|012.34E-3",
                                          "09:05:30|012.34E-3", "|"}));
    QCOMPARE(modals->texts(), QStringList{kEnded});
}

void TestTimeWindow::csvRun_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("csv");
    QTest::newRow("R and V, comparator off")
        << QStringList{"--mode", "RV", "--comp", "0"} << QByteArray(":MEAS:BATT?")
        << lines({"Time,Resistance,Voltage", "09:05:30,012.34E-3,+12.345E+0", "09:05:31,012.34E-3,+12.345E+0"});
    QTest::newRow("R and V, comparator on")
        << QStringList{"--mode", "RV", "--comp", "1", "--comp-result", "HI"} << QByteArray(":MEAS:BATT?")
        << lines({"Time,Resistance,Voltage,Comp", "09:05:30,012.34E-3,+12.345E+0,HI",
                  "09:05:31,012.34E-3,+12.345E+0,HI"});
    QTest::newRow("R only, comparator off")
        << QStringList{"--mode", "R", "--comp", "0"} << QByteArray(":MEAS:RES?")
        << lines({"Time,Resistance", "09:05:30,012.34E-3", "09:05:31,012.34E-3"});
    QTest::newRow("R only, comparator on")
        << QStringList{"--mode", "R", "--comp", "1", "--comp-result", "LO", "--res", "1.0000E+9"}
        << QByteArray(":MEAS:RES?")
        << lines({"Time,Resistance,Comp", "09:05:30,1.0000E+9,LO", "09:05:31,1.0000E+9,LO"});
}

void TestTimeWindow::csvRun() {
    QFETCH(QStringList, simArgs);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, csv);
    b.up(simArgs);
    b.clock.stepPerReadMs = 1000;
    const QString file = b.path("run.csv");
    writeFile(file, "old content that the run replaces\r\n");
    modals->fileAnswers << file;
    Frm_Time* w = open();
    Followed followed;
    start(w, "0", "2", true);
    // The save dialog asks before replacing the file; the end notice has no icon.
    QCOMPARE(modals->count(), 3);
    QVERIFY(modals->seen[0].fileDialog);
    QCOMPARE(modals->seen[0].title, QString("Output CSV Filename"));
    QCOMPARE(modals->seen[0].filters, (QStringList{"CSV File(*.csv) (*.csv)", "All Files(*.*) (*)"}));
    QCOMPARE(modals->seen[0].acceptMode, int(QFileDialog::AcceptSave));
    QVERIFY(modals->seen[1].text.contains("already exists"));
    QCOMPARE(modals->seen[2].text, QString(kEnded));
    QCOMPARE(modals->seen[2].title, QString(kTitle));
    QCOMPARE(modals->seen[2].icon, int(QMessageBox::NoIcon));
    QCOMPARE(readFile(file), csv);
    QCOMPARE(b.received(command + "\r\n" + command), QByteArray(kSetupQuery) + "\r\n" + command + "\r\n" + command + "\r\n");
    QCOMPARE(OUTFILES::FreeFile(), 1);   // closed at the end
    QCOMPARE(w->ReadingsLogged(), qint64(2));

    // Followers saw the run: each row's readings, at the time the row carries.
    const QList<QByteArray> rows = csv.trimmed().split('\n');
    const int mode = command == ":MEAS:BATT?" ? 1 : 0;
    const int comp = rows[0].contains("Comp") ? 1 : 0;
    QStringList expected{
        QStringLiteral("start time mode %1 comp %2 count 2 interval 0 %3").arg(mode).arg(comp).arg(file)};
    for (int i = 1; i <= 2; ++i) {
        QStringList fields = QString::fromLatin1(rows[i].trimmed()).split(',');
        QCOMPARE(followed.times.value(i - 1).toString("HH:mm:ss"), fields.takeFirst());
        // A reading has a place for the voltage even where the row has none.
        if (mode == 0) fields.insert(1, QString());
        while (fields.size() < 3) fields << QString();
        expected << QStringLiteral("%1 mode %2 comp %3").arg(fields.join('|')).arg(mode).arg(comp);
    }
    expected << "end";
    QCOMPARE(followed.events, expected);
}

void TestTimeWindow::shortAnswerDoesNotReuseOldFields() {
    // The instrument is answered by hand: the second reading lacks the
    // comparator field, which must stay empty rather than repeat "HI".
    b.up({"--silent"});
    b.clock.stepPerReadMs = 1000;
    const QString file = b.path("short.csv");
    modals->fileAnswers << file;
    Frm_Time* w = open();
    auto answer = [this](const QByteArray& bytes) { QVERIFY(b.sim->control("send " + bytes.toHex())); };
    auto seenTimes = [this](const QByteArray& what) { return b.sim->received().count(what); };
    Script s([this] { b.sim->control("silent off"); });
    s.when([&] { return seenTimes(":COMP?") == 1; }, [&] { answer("RV;FAST;1\r\n"); })
        .when([&] { return seenTimes(":MEAS:BATT?") == 1; }, [&] { answer("1.5E-3,+2.0E+0,HI\r\n"); })
        .when([&] { return seenTimes(":MEAS:BATT?") == 2; }, [&] { answer("1.6E-3,+2.1E+0\r\n"); });
    s.start();
    start(w, "0", "2", true);
    QVERIFY(!s.failed());
    QCOMPARE(readFile(file), lines({"Time,Resistance,Voltage,Comp", "09:05:30,1.5E-3,+2.0E+0,HI",
                                    "09:05:31,1.6E-3,+2.1E+0"}));
}

void TestTimeWindow::intervalOutOfRangeIsRefused_data() {
    QTest::addColumn<QString>("interval");
    QTest::newRow("3601") << "3601";
    QTest::newRow("9999") << "9999";
    QTest::newRow("negative pasted") << "-1";
}

void TestTimeWindow::intervalOutOfRangeIsRefused() {
    QFETCH(QString, interval);
    b.up({});
    Frm_Time* w = open();
    start(w, interval, "1", true);   // no file dialog may open
    QCOMPARE(modals->count(), 1);
    QCOMPARE(modals->last().text, QString("The numerical value is out of a range. "));
    QCOMPARE(modals->last().icon, int(QMessageBox::Warning));
    QCOMPARE(modals->last().title, QString(kTitle));
    QVERIFY(w->Cmd[1]->isVisible());
    QCOMPARE(w->FlagMeasuring, qint16(0));
    QTest::qWait(50);
    QCOMPARE(b.sim->received(), QByteArray());
}

void TestTimeWindow::intervalWaitTicks_data() {
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("timerMs");
    QTest::addColumn<int>("ticks");
    QTest::newRow("1 s") << "1" << 1000 << 1;
    QTest::newRow("60 s, one tick") << "60" << 60000 << 1;
    QTest::newRow("61 s, ticks of 950 ms") << "61" << 950 << 61;
    QTest::newRow("3600 s accepted") << "3600" << 950 << 3600;
}

void TestTimeWindow::intervalWaitTicks() {
    QFETCH(QString, interval);
    QFETCH(int, timerMs);
    QFETCH(int, ticks);
    b.up({});
    auto xl = freshSheet();
    Frm_Time* w = open();
    int seenInterval = -1;
    bool endedEarly = true;
    Script s([w] { w->Cmd[2]->click(); });
    s.when([w] { return w->Timer1->isActive(); },
           [&, w] {
               seenInterval = w->Timer1->interval();
               for (int i = 0; i < ticks - 1; ++i) w->Timer1_Timer();
           })
        .when([] { return true; },
              [&, w] {
                  // One tick short: the run still waits and nothing ended.
                  endedEarly = modals->count() != 0 || !w->Timer1->isActive();
                  w->Timer1_Timer();
              });
    s.start();
    start(w, interval, "1", false);
    QVERIFY(!s.failed());
    QCOMPARE(seenInterval, timerMs);
    QVERIFY(!endedEarly);
    QCOMPARE(modals->texts(), QStringList{kEnded});
    QVERIFY(!w->Timer1->isActive());
    QCOMPARE(xl->rows(3, 1), (QStringList{"Time", "09:05:30", ""}));   // count 1: one reading
    QCOMPARE(b.received(":MEAS:BATT?"), QByteArray(kSetupQuery) + "\r\n:MEAS:BATT?\r\n");
}

void TestTimeWindow::stopDuringWaitClosesTheFile() {
    b.up({});
    const QString file = b.path("stop.csv");
    modals->fileAnswers << file;
    Frm_Time* w = open();
    bool closeRefused = false;
    Script s([w] { w->Cmd[2]->click(); });
    s.when([w] { return w->Timer1->isActive(); },
           [&, w] {
               // Closing is refused while the run lasts.
               closeRefused = !LOGGING::TimeForm()->close() && LOGGING::TimeWindow() == w &&
                              SETTING::GetFormTimeOpen();
               w->Cmd[2]->click();
           });
    s.start();
    start(w, "3600", "0", true);
    QVERIFY(!s.failed());
    QVERIFY(closeRefused);
    QCOMPARE(modals->last().text, QString(kEnded));
    QCOMPARE(readFile(file), lines({"Time,Resistance,Voltage", "09:05:30,012.34E-3,+12.345E+0"}));
    QCOMPARE(OUTFILES::FreeFile(), 1);
    QVERIFY(LOGGING::TimeForm()->close());   // idle again: closing works
}

void TestTimeWindow::untilStopRunsPast16BitCounter() {
    b.up({"--mode", "R"});
    const QString file = b.path("long.csv");
    modals->fileAnswers << file;
    Frm_Time* w = open();
    const qint64 target = 32800;
    Script s([w] { w->Cmd[2]->click(); }, 120000);
    s.when([w, target] { return w->ReadingsLogged() >= target; }, [w] { w->Cmd[2]->click(); });
    s.start();
    start(w, "0", "40000", true);   // above 32767: until Stop
    QVERIFY(!s.failed());
    QCOMPARE(modals->texts().last(), QString(kEnded));
    const QByteArray bytes = readFile(file);
    const qint64 rows = bytes.count("\r\n") - 1;
    QVERIFY2(rows >= target, QByteArray::number(rows));
    QCOMPARE(rows, w->ReadingsLogged());
    QVERIFY(bytes.endsWith(",012.34E-3\r\n"));
}

void TestTimeWindow::csvFailures() {
    b.up({});
    Frm_Time* w = open();
    // A path that cannot be created gives the error box; a cancelled dialog
    // gives none. Neither starts a run.
    // (The chosen name turns into a folder before the window opens it.)
    const QString taken = b.path("taken.csv");
    modals->onSelected = [](const QString& f) { QDir().mkpath(f); };
    modals->fileAnswers << taken << "";
    start(w, "0", "1", true);
    start(w, "0", "1", true);
    QCOMPARE(modals->texts(), (QStringList{"", "The error occurred. ", ""}));
    QVERIFY(modals->seen[0].fileDialog && modals->seen[2].fileDialog);
    QCOMPARE(modals->seen[1].icon, int(QMessageBox::Warning));
    QVERIFY(QFileInfo(taken).isDir());
    QCOMPARE(OUTFILES::FreeFile(), 1);
    QTest::qWait(50);
    QCOMPARE(b.sim->received(), QByteArray());

    // An answer with more fields than the reading holds: the error path closes
    // the file after the header.
    modals->onSelected = nullptr;
    b.sim->control("extra-fields on");
    const QString file = b.path("overflow.csv");
    modals->fileAnswers << file;
    start(w, "0", "0", true);
    QCOMPARE(modals->last().text, QString("The error occurred. "));
    QCOMPARE(modals->last().icon, int(QMessageBox::Warning));
    QCOMPARE(readFile(file), lines({"Time,Resistance,Voltage"}));
    QCOMPARE(OUTFILES::FreeFile(), 1);
    QVERIFY(w->Cmd[1]->isVisible());

    // Rows that cannot be settled on disk at the end (a pulled stick, a full
    // network share): a failed write, never "Measurement ended.".
    b.sim->control("extra-fields off");
    OUTFILES::SetFinalCallsForTests([](int) { errno = EIO; return -1; }, nullptr);
    modals->fileAnswers << b.path("unsynced.csv");
    start(w, "0", "2", true);
    OUTFILES::SetFinalCallsForTests(nullptr, nullptr);
    QCOMPARE(modals->last().text, QString("The error occurred. "));
    QCOMPARE(readFile(b.path("unsynced.csv")).count("\r\n"), 3);
    QCOMPARE(OUTFILES::FreeFile(), 1);
}

void TestTimeWindow::writeFailureKeepsWrittenRows() {
    b.up({});
    const QString file = b.path("full.csv");
    modals->fileAnswers << file;
    Frm_Time* w = open();
    // The file may grow to the header and two rows, and a little of a third.
    const QByteArray header = "Time,Resistance,Voltage\r\n";
    const QByteArray row = "09:05:30,012.34E-3,+12.345E+0\r\n";
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = old;
    lim.rlim_cur = rlim_t(header.size() + 2 * row.size() + 5);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &lim), 0);
    start(w, "0", "0", true);
    setrlimit(RLIMIT_FSIZE, &old);
    QCOMPARE(modals->last().text, QString("The error occurred. "));
    QCOMPARE(readFile(file), header + row + row);
    QCOMPARE(w->ReadingsLogged(), qint64(2));
    QCOMPARE(OUTFILES::FreeFile(), 1);
}

void TestTimeWindow::sheetHeaderByConfiguration_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("RV off") << QStringList{"--mode", "RV"}
                            << QStringList{"Time|Resistance|Voltage|", "09:05:30|012.34E-3|+12.345E+0|"};
    QTest::newRow("RV on") << QStringList{"--mode", "RV", "--comp", "1"}
                           << QStringList{"Time|Resistance|Voltage|Comp", "09:05:30|012.34E-3|+12.345E+0|IN"};
    QTest::newRow("R off") << QStringList{"--mode", "R"} << QStringList{"Time|Resistance||", "09:05:30|012.34E-3||"};
    QTest::newRow("R on") << QStringList{"--mode", "R", "--comp", "1"}
                          << QStringList{"Time|Resistance|Comp|", "09:05:30|012.34E-3|IN|"};
}

void TestTimeWindow::sheetHeaderByConfiguration() {
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, rows);
    b.up(simArgs);
    auto xl = freshSheet();
    Frm_Time* w = open();
    start(w, "0", "1", false);
    QCOMPARE(modals->texts(), QStringList{kEnded});
    QCOMPARE(xl->rows(2, 4), rows);
    QCOMPARE(xl->ActiveSheetName().value_or("?"), QString("Meas 1"));
    QVERIFY(!xl->visible);   // attached, not started here: left as it was
    QCOMPARE(b.sheets->creates, 0);
}

void TestTimeWindow::sheetNamesContinueAcrossRuns() {
    b.up({});
    auto xl = freshSheet();
    Frm_Time* w = open();
    Followed followed;
    start(w, "0", "1", false);
    start(w, "0", "1", false);
    QVERIFY(LOGGING::TimeForm()->close());
    w = open();
    start(w, "0", "1", false);
    QCOMPARE(xl->workbooks.size(), 1);
    QStringList names;
    for (const auto& s : xl->workbooks[0].sheets) names << s.name;
    QCOMPARE(names, (QStringList{"Meas 1", "Meas 2", "Meas 3"}));
    // Each run is an activity of its own, named by the sheet it fills.
    QCOMPARE(followed.events.filter("start"), (QStringList{"start time mode 1 comp 0 count 1 interval 0 sheet Meas 1",
                                                           "start time mode 1 comp 0 count 1 interval 0 sheet Meas 2",
                                                           "start time mode 1 comp 0 count 1 interval 0 sheet Meas 3"}));
    QCOMPARE(followed.events.count("end"), 3);

    // The operator closes the workbook: a new one, numbered from 1 again; a
    // name already taken stays Excel's own and the count still moves on.
    xl->closeActiveWorkbook();
    start(w, "0", "1", false);
    QCOMPARE(xl->ActiveSheetName().value_or("?"), QString("Meas 1"));
    QVERIFY(xl->WorksheetsAdd());
    QVERIFY(xl->SetActiveSheetName("Meas 2"));
    start(w, "0", "1", false);
    QCOMPARE(xl->ActiveSheetName().value_or("?"), QString("Sheet3"));
    QCOMPARE(xl->cell(2, 2), QString("012.34E-3"));
    start(w, "0", "1", false);
    QCOMPARE(xl->ActiveSheetName().value_or("?"), QString("Meas 3"));
}

void TestTimeWindow::sheetScrollsFromRow16_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("scrolls");
    QTest::newRow("last row 15") << 14 << 0;
    QTest::newRow("last row 16") << 15 << 1;
    QTest::newRow("last row 18") << 17 << 3;
}

void TestTimeWindow::sheetScrollsFromRow16() {
    QFETCH(int, count);
    QFETCH(int, scrolls);
    b.up({});
    auto xl = freshSheet();
    Frm_Time* w = open();
    start(w, "0", QString::number(count), false);
    QCOMPARE(xl->smallScrolls, scrolls);
    QCOMPARE(xl->scrollRowSets, 1);
    QCOMPARE(xl->activeSheet()->topRow, 1);
    QCOMPARE(xl->cell(count + 1, 2), QString("012.34E-3"));
    QCOMPARE(xl->cell(count + 2, 2), QString());
}

void TestTimeWindow::sheetMissingOrFailing() {
    b.up({});
    b.sheets->running.reset();
    b.sheets->canCreate = false;
    Frm_Time* w = open();
    start(w, "0", "1", false);
    QCOMPARE(modals->texts(), QStringList{"There is not Excel in this personal computer."});
    QCOMPARE(modals->last().icon, int(QMessageBox::Warning));
    QVERIFY(w->Cmd[1]->isVisible());
    QCOMPARE(b.received(":COMP?"), QByteArray(kSetupQuery) + "\r\n");   // no reading taken

    // Started here: made visible. Calls that fail are skipped and the run goes on.
    b.sheets->canCreate = true;
    start(w, "0", "2", false);
    QCOMPARE(b.sheets->creates, 2);
    auto xl = b.sheets->running;
    QVERIFY(xl);
    QVERIFY(xl->visible);
    QCOMPARE(xl->cell(3, 2), QString("012.34E-3"));
    xl->failing = true;
    start(w, "0", "2", false);
    QCOMPARE(modals->texts().last(), QString(kEnded));
    QCOMPARE(b.sim->received().count(":MEAS:BATT?"), 4);
}

void TestTimeWindow::gradedCsvRun_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QString>("bin");
    QTest::addColumn<QString>("colour");
    QTest::newRow("A") << QStringList{"--res", "017.20E-3", "--volt", "+3.6520E+0"} << "A" << "#00a000";
    QTest::newRow("C, voltage open") << QStringList{"--res", "025.00E-3", "--volt", "+3.4000E+0"} << "C" << "#e08000";
    QTest::newRow("no bin holds it") << QStringList{"--res", "017.20E-3", "--volt", "+3.5000E+0"} << "Reject" << "#c00000";
    QTest::newRow("over range") << QStringList{"--res", "of", "--volt", "+3.6520E+0"} << "Reject" << "#c00000";
}

void TestTimeWindow::gradedCsvRun() {
    QFETCH(QStringList, simArgs);
    QFETCH(QString, bin);
    QFETCH(QString, colour);
    b.up(simArgs + QStringList{"--mode", "RV", "--comp", "0"});
    b.clock.stepPerReadMs = 1000;
    const QString profile = b.path("18650.grading");
    writeFile(profile, kProfile18650);
    const QString file = b.path("run.csv");
    Frm_Time* w = open();
    Frm_Disp* d = FRAME::Disp();
    const QByteArray r = simArgs[1].toLatin1() == "of" ? "1.0000E+8" : simArgs[1].toLatin1();
    const QByteArray v = simArgs[3].toLatin1();
    const QByteArray plain =
        "Time,Resistance,Voltage\r\n09:05:30," + r + "," + v + "\r\n09:05:31," + r + "," + v + "\r\n";

    // Grading off: the file and the window as they always were.
    WriteGradingSettings(false, profile);
    modals->fileAnswers << file;
    start(w, "0", "2", true);
    QCOMPARE(readFile(file), plain);
    const QImage ungraded = d->grab().toImage();
    const QSize designed = d->size();

    // On: two more columns, the bin and an empty cell ID; the verdict below the readings.
    WriteGradingSettings(true, profile);
    b.clock.now = QTime(9, 5, 30, 400);
    modals->fileAnswers << file;
    const int boxes = modals->count();
    start(w, "0", "2", true);
    QCOMPARE(modals->count(), boxes + 3);   // file dialog, replace?, ended: no warning
    QCOMPARE(modals->last().text, QString(kEnded));
    const QByteArray cells = "," + bin.toLatin1() + ",\r\n";
    QCOMPARE(readFile(file), "Time,Resistance,Voltage,Bin,Cell ID\r\n09:05:30," + r + "," + v + cells +
                                 "09:05:31," + r + "," + v + cells);
    QVERIFY(d->Pic_Grade->isVisibleTo(d));
    QCOMPARE(d->Lbl_Grade->text(), bin);
    QCOMPARE(d->Lbl_Grade->palette().color(QPalette::WindowText), QColor(colour));
    QVERIFY(d->height() > designed.height());

    // Off again: byte for byte and pixel for pixel as before.
    WriteGradingSettings(false, profile);
    b.clock.now = QTime(9, 5, 30, 400);
    modals->fileAnswers << file;
    start(w, "0", "2", true);
    QCOMPARE(readFile(file), plain);
    QCOMPARE(d->size(), designed);
    QCOMPARE(d->grab().toImage(), ungraded);
}

void TestTimeWindow::damagedProfileWarnsAndRunsUngraded() {
    b.up({"--mode", "R", "--comp", "0"});
    b.clock.stepPerReadMs = 1000;
    const QString profile = b.path("broken.grading");
    writeFile(profile, "[bin]\nname = A\nresistance low = 15 mohm\n");
    WriteGradingSettings(true, profile);
    const QString file = b.path("run.csv");
    modals->fileAnswers << file;
    Frm_Time* w = open();
    start(w, "0", "1", true);
    // Once, before the run, titled as the grading's other messages.
    const QStringList texts = modals->texts();
    QCOMPARE(texts.filter("cannot be used").size(), 1);
    const int at = int(texts.indexOf(QRegularExpression(".*cannot be used.*", QRegularExpression::DotMatchesEverythingOption)));
    QCOMPARE(modals->seen[at].title, QString("Grading"));
    QCOMPARE(modals->seen[at].icon, int(QMessageBox::Warning));
    QVERIFY(modals->seen[at].text.contains("Line 3:"));
    QCOMPARE(modals->last().text, QString(kEnded));
    QCOMPARE(readFile(file), lines({"Time,Resistance", "09:05:30,012.34E-3"}));
    QVERIFY(!FRAME::Disp()->GradingShown());
}

ORVEN_TEST_MAIN(TestTimeWindow)
#include "test_time_window.moc"
