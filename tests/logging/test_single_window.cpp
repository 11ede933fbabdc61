// The return-key loading window end to end: its stored choices, rows
// appended to a CSV file, rows at the spreadsheet's active cell, and the
// failures that leave the window ready for the next reading.
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "followed.h"
#include "frm_single.h"
#include "logging_fixture.h"
#include "twips.h"
#include "rs_lib32.h"
#include "frame.h"

using namespace LT;

namespace {
const char kSetupQuery[] = ":HEAD OFF;:HOLD OFF;:MOD?;:SAMP?;:COMP?\r\n";
const char kNoSheet[] = "There is not Excel in this personal computer.";
}  // namespace

class TestSingleWindow : public QObject {
    Q_OBJECT

    Bench b;
    std::unique_ptr<Modals> modals;

    Frm_Single* open() {
        LOGGING::MnuMeasSingle_Click();
        return LOGGING::SingleWindow();
    }
    bool ready(Frm_Single* w) { return w->Picture1[1]->isVisible() && !w->Picture1[0]->isVisible(); }
    QString stored(const char* key) { return SETTING::GetSetting("Configuration", key, "<none>"); }
    void answer(const QByteArray& bytes) { QVERIFY(b.sim->control("send " + bytes.toHex())); }
    int seen(const QByteArray& what) { return int(b.sim->received().count(what)); }
    // A closed box hands the activation back, as the desktop's window manager does.
    bool reactivate() {
        b.main->activateWindow();
        return QTest::qWaitForWindowActive(b.main.get());
    }

private slots:
    void init() { modals.reset(new Modals); }
    void cleanup() {
        modals.reset();
        b.down();
    }

    void loadAppliesStoredChoices();
    void unknownStoredMethodFallsBackToTextFile();
    void csvRowsAppend_data();
    void csvRowsAppend();
    void sheetRowsFollowActiveCell();
    void sheetQuitBetweenReadingsStartsNewOne();
    void sheetMissingOrFailing();
    void okFailuresStayInSetup();
    void overlongAnswerLeavesWindowReady();
    void busyReadingRefusesCloseAndReturn();
    void scannerTakesRowsForCells();
    void duplicateCellAsksFirst();
    void sheetRowsCarryCellIds();
    void gradedSheetHeaderFromOk();
    void handsFreeTakesOneRowPerPlacement();
    void handsFreeRowsCarryScannedIds();
};

void TestSingleWindow::loadAppliesStoredChoices() {
    b.up({});
    Frm_Single* w = open();
    QVERIFY(w);
    QVERIFY(SETTING::GetFormSingleOpen());
    QCOMPARE(w->windowTitle(), QString("Loading Measurement Data (by return key)"));
    QCOMPARE(w->Label1->text(), QString("Please press OK, if setting completes.  "));
    QVERIFY(w->Picture1[0]->isVisible());
    QVERIFY(!w->Picture1[1]->isVisible());
    // Nothing stored: Excel, with the file controls greyed; the choice is stored at once.
    QVERIFY(w->OpnMethod[1]->isChecked());
    QVERIFY(!w->Txt_File->isEnabled());
    QVERIFY(!w->Cmd_File->isEnabled());
    QCOMPARE(stored("Single Meas Output Method"), QString("1"));
    QCOMPARE(w->DefaultButton(), w->Cmd_Trig);
    QWidget* form = LOGGING::SingleForm();
    QVERIFY(qAbs(TWIPS::Width(form) - 4910) <= 15);
    QVERIFY(qAbs(TWIPS::Height(form) - 3510) <= 15);
    QVERIFY(qAbs(TWIPS::Top(form) - TWIPS::Height(FRAME::DispForm())) <= 15);

    w->OpnMethod[0]->click();
    QCOMPARE(stored("Single Meas Output Method"), QString("0"));
    QVERIFY(w->Txt_File->isEnabled() && w->Cmd_File->isEnabled());

    // The dialog hands back a full path of a file that need not exist.
    const QString name = b.path("new.csv");
    modals->fileAnswers << name << "";
    w->Cmd_File->click();
    QCOMPARE(w->Txt_File->text(), name);
    QCOMPARE(stored("Single Meas File"), name);
    QCOMPARE(modals->last().title, QString("Output CSV Filename"));
    QCOMPARE(modals->last().acceptMode, int(QFileDialog::AcceptOpen));
    QCOMPARE(modals->last().fileMode, int(QFileDialog::AnyFile));
    QCOMPARE(modals->last().filters, (QStringList{"CSV File(*.csv) (*.csv)", "All Files(*.*) (*)"}));
    w->Cmd_File->click();   // cancelled: nothing changes
    QCOMPARE(w->Txt_File->text(), name);
    QVERIFY(!QFile::exists(name));

    // Cancel keeps both choices for the next opening, and stores the position.
    TWIPS::SetLeft(form, 1200);
    w->Cmd_Cancel->click();
    QVERIFY(!LOGGING::SingleWindow());
    QVERIFY(!SETTING::GetFormSingleOpen());
    QCOMPARE(SETTING::GetSetting("Form Single", "Left", "x"), QString("1200"));
    w = open();
    QVERIFY(w->OpnMethod[0]->isChecked());
    QCOMPARE(w->Txt_File->text(), name);
    QCOMPARE(TWIPS::Left(LOGGING::SingleForm()), 1200);
    QCOMPARE(modals->count(), 2);   // the two dialogs, no message
}

void TestSingleWindow::unknownStoredMethodFallsBackToTextFile() {
    b.up({});
    SETTING::SaveSetting("Configuration", "Single Meas Output Method", "7");
    Frm_Single* w = open();
    QVERIFY(w->OpnMethod[0]->isChecked());
    QVERIFY(w->Txt_File->isEnabled());
    QCOMPARE(stored("Single Meas Output Method"), QString("0"));
}

void TestSingleWindow::csvRowsAppend_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("row");
    QTest::newRow("RV off") << QStringList{"--mode", "RV"} << QByteArray(":MEAS:BATT?")
                            << QByteArray("012.34E-3,+12.345E+0\r\n");
    QTest::newRow("RV on") << QStringList{"--mode", "RV", "--comp", "1", "--comp-result", "HI"}
                           << QByteArray(":MEAS:BATT?") << QByteArray("012.34E-3,+12.345E+0,HI\r\n");
    QTest::newRow("R off") << QStringList{"--mode", "R", "--res", "1.0000E+8"} << QByteArray(":MEAS:RES?")
                           << QByteArray("1.0000E+8\r\n");
    QTest::newRow("R on") << QStringList{"--mode", "R", "--comp", "1"} << QByteArray(":MEAS:RES?")
                          << QByteArray("012.34E-3,IN\r\n");
}

void TestSingleWindow::csvRowsAppend() {
    QFETCH(QStringList, simArgs);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, row);
    b.up(simArgs);
    const QString file = b.path("loaded.csv");
    writeFile(file, "earlier row\r\n");
    SETTING::SaveSetting("Configuration", "Single Meas Output Method", "0");
    SETTING::SaveSetting("Configuration", "Single Meas File", file);

    Frm_Single* w = open();
    Followed followed;
    QCOMPARE(TESTENV::KeyTarget(), w->Cmd_Ok);
    QVERIFY(!w->Chk_CellIds->isChecked() && !w->Chk_HandsFree->isChecked());
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // OK has the focus at open
    QVERIFY(ready(w));
    // IDs and capture off: no ID field, Load has the focus, no key stored.
    QVERIFY(!w->Txt_CellId->isVisible() && !w->Lbl_Status->isVisible());
    QCOMPARE(TESTENV::KeyTarget(), w->Cmd_Trig);
    QCOMPARE(SETTING::GetSetting("Form Single", "Cell IDs", "<none>"), QString("<none>"));
    QCOMPARE(SETTING::GetSetting("Form Single", "Hands-free Capture", "<none>"), QString("<none>"));
    QCOMPARE(readFile(file), QByteArray("earlier row\r\n"));   // no header, nothing cut
    w->Cmd_Trig->click();
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // the default button: Load
    QCOMPARE(modals->count(), 0);
    QCOMPARE(readFile(file), "earlier row\r\n" + row + row);
    const QByteArray one = kSetupQuery + command + "\r\n";
    QCOMPARE(b.received(one + one), kSetupQuery + one + one);

    // One activity from OK to the close; a published reading is resistance,
    // voltage, comparator whatever the row's layout.
    QStringList fields = QString::fromLatin1(row.trimmed()).split(',');
    // A reading has a place for the voltage even where the row has none.
    if (RS_LIB32::ProgramLink().InstrumentSetup.MeasMode == 0) fields.insert(1, QString());
    while (fields.size() < 3) fields << QString();
    const QString published = QStringLiteral("%1 mode %2 comp %3")
                                  .arg(fields.join('|'))
                                  .arg(RS_LIB32::ProgramLink().InstrumentSetup.MeasMode)
                                  .arg(RS_LIB32::ProgramLink().InstrumentSetup.CompState);
    const QString begun = QStringLiteral("start return key mode %1 comp %2 count 0 interval 0 %3")
                              .arg(RS_LIB32::ProgramLink().InstrumentSetup.MeasMode)
                              .arg(RS_LIB32::ProgramLink().InstrumentSetup.CompState)
                              .arg(file);
    QCOMPARE(followed.events, (QStringList{begun, published, published}));

    // Close shuts the file; a second session appends after the first.
    w->Cmd_End->click();
    QCOMPARE(followed.events.last(), QString("end"));
    QVERIFY(!LOGGING::SingleWindow());
    QCOMPARE(OUTFILES::FreeFile(), 1);
    w = open();
    w->Cmd_Ok->click();
    w->Cmd_Trig->click();
    QCOMPARE(readFile(file), "earlier row\r\n" + row + row + row);
}

void TestSingleWindow::sheetRowsFollowActiveCell() {
    b.up({"--mode", "R", "--comp", "1"});
    auto xl = std::make_shared<SHEET::MemorySheet>();
    b.sheets->running = xl;
    Frm_Single* w = open();
    Followed followed;
    // No workbook yet: one is added with the header, and A2 is selected.
    w->Cmd_Ok->click();
    QVERIFY(ready(w));
    QCOMPARE(followed.events, QStringList{"start return key mode 0 comp 1 count 0 interval 0 sheet Sheet1"});
    QCOMPARE(xl->rows(1, 3), QStringList{"Resistance|Comp|"});
    QCOMPARE(*xl->ActiveCell(), std::make_pair(2, 1));
    w->Cmd_Trig->click();
    w->Cmd_Trig->click();
    QCOMPARE(xl->rows(3, 3), (QStringList{"Resistance|Comp|", "012.34E-3|IN|", "012.34E-3|IN|"}));
    QCOMPARE(*xl->ActiveCell(), std::make_pair(4, 1));
    // The operator clicks another cell: the next row starts there.
    xl->clickCell(10, 3);
    w->Cmd_Trig->click();
    QCOMPARE(xl->cell(10, 3), QString("012.34E-3"));
    QCOMPARE(xl->cell(10, 4), QString("IN"));
    QCOMPARE(*xl->ActiveCell(), std::make_pair(11, 3));
    QCOMPARE(xl->workbooks.size(), 1);
    QCOMPARE(modals->count(), 0);
    QVERIFY(!xl->visible);   // found running: its visibility is left alone

    // A workbook with sheets already open: no header, rows at the active cell.
    w->Cmd_End->click();
    auto other = std::make_shared<SHEET::MemorySheet>();
    other->WorkbooksAdd();
    other->clickCell(5, 2);
    b.sheets->running = other;
    w = open();
    w->Cmd_Ok->click();
    w->Cmd_Trig->click();
    QCOMPARE(other->rows(1, 3), QStringList{"||"});
    QCOMPARE(other->cell(5, 2), QString("012.34E-3"));
    QCOMPARE(other->cell(5, 3), QString("IN"));
    QCOMPARE(*other->ActiveCell(), std::make_pair(6, 2));
}

void TestSingleWindow::sheetQuitBetweenReadingsStartsNewOne() {
    b.up({"--mode", "RV", "--comp", "1"});
    b.sheets->running = std::make_shared<SHEET::MemorySheet>();
    Frm_Single* w = open();
    QVERIFY(TESTENV::PressKey(Qt::Key_Space));   // OK
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));  // Load
    b.sheets->quit();
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));
    auto xl = b.sheets->running;
    QVERIFY(xl);
    QCOMPARE(b.sheets->creates, 1);
    QVERIFY(xl->visible);
    // After the office was started, Return still presses Load.
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));
    QCOMPARE(xl->rows(3, 3), (QStringList{"Resistance|Voltage|Comp", "012.34E-3|+12.345E+0|IN",
                                          "012.34E-3|+12.345E+0|IN"}));
    QCOMPARE(modals->count(), 0);
}

void TestSingleWindow::sheetMissingOrFailing() {
    b.up({});
    b.sheets->canCreate = false;
    Frm_Single* w = open();
    w->Cmd_Ok->click();
    QCOMPARE(modals->texts(), QStringList{kNoSheet});
    QCOMPARE(modals->last().icon, int(QMessageBox::Warning));
    QVERIFY(w->Picture1[0]->isVisible());

    // Found at OK, gone at Load: no reading is taken.
    auto xl = std::make_shared<SHEET::MemorySheet>();
    b.sheets->running = xl;
    w->Cmd_Ok->click();
    QVERIFY(ready(w));
    b.sheets->quit();
    w->Cmd_Trig->click();
    QCOMPARE(modals->texts(), (QStringList{kNoSheet, kNoSheet}));
    QVERIFY(ready(w));
    QCOMPARE(seen(":MEAS:"), 0);

    // Calls that fail while the row is written: the row is dropped with the error.
    b.sheets->running = xl;
    xl->failing = true;
    w->Cmd_Trig->click();
    QCOMPARE(modals->texts().last(), QString("The error occurred."));
    QVERIFY(w->Cmd_Trig->isEnabled() && w->Cmd_End->isEnabled());
    xl->failing = false;
    w->Cmd_Trig->click();
    QCOMPARE(xl->rows(3, 2), (QStringList{"Resistance|Voltage", "012.34E-3|+12.345E+0", "|"}));
    QCOMPARE(modals->count(), 3);
}

void TestSingleWindow::okFailuresStayInSetup() {
    b.up({});
    SETTING::SaveSetting("Configuration", "Single Meas Output Method", "0");
    Frm_Single* w = open();
    w->Cmd_Ok->click();
    QCOMPARE(modals->last().text, QString("There is not a file name."));
    QCOMPARE(modals->last().icon, int(QMessageBox::Warning));
    QCOMPARE(modals->last().title, QString("ORVEN 5927 Application"));
    QVERIFY(w->Picture1[0]->isVisible());
    w->Txt_File->setText(b.dir.path());   // a folder cannot be appended to
    w->Cmd_Ok->click();
    QCOMPARE(modals->last().text, QString("The error occurred."));
    QVERIFY(w->Picture1[0]->isVisible());
    QCOMPARE(OUTFILES::FreeFile(), 1);
    // Blanks are a name: a typed name is used though only the dialog stores one.
    const QString typed = b.path(" ");
    w->Txt_File->setText(typed);
    w->Cmd_Ok->click();
    QVERIFY(ready(w));
    QVERIFY(QFile::exists(typed));
    QCOMPARE(stored("Single Meas File"), QString("<none>"));
    QCOMPARE(modals->count(), 2);
}

void TestSingleWindow::overlongAnswerLeavesWindowReady() {
    // Answered by hand: the first reading has one field too many; its rest
    // must not be taken for the next answer.
    b.up({"--silent"});
    const QString file = b.path("overlong.csv");
    SETTING::SaveSetting("Configuration", "Single Meas Output Method", "0");
    SETTING::SaveSetting("Configuration", "Single Meas File", file);
    Script s([this] { b.sim->control("silent off"); });
    s.when([this] { return seen(":COMP?") == 1; }, [this] { answer("RV;FAST;0\r\n"); })
        .when([this] { return seen(":COMP?") == 2; }, [this] { answer("RV;FAST;0\r\n"); })
        .when([this] { return seen(":MEAS:BATT?") == 1; }, [this] { answer("1E-3,2E+0,IN,9\r\n"); })
        .when([this] { return seen(":COMP?") == 3; }, [this] { answer("RV;FAST;0\r\n"); })
        .when([this] { return seen(":MEAS:BATT?") == 2; }, [this] { answer("3E-3,4E+0\r\n"); });
    s.start();
    Frm_Single* w = open();
    w->Cmd_Ok->click();
    w->Cmd_Trig->click();
    QCOMPARE(modals->texts(), QStringList{"The error occurred."});
    QVERIFY(ready(w));
    QVERIFY(w->Cmd_Trig->isEnabled());
    QCOMPARE(w->FlagMeasuring, qint16(0));
    w->Cmd_Trig->click();
    QVERIFY(!s.failed());
    QCOMPARE(modals->count(), 1);
    QCOMPARE(readFile(file), QByteArray("3E-3,4E+0\r\n"));
}

void TestSingleWindow::busyReadingRefusesCloseAndReturn() {
    b.up({"--silent"});
    b.sheets->running = std::make_shared<SHEET::MemorySheet>();
    bool refused = false, disabled = false;
    Script s([this] { b.sim->control("silent off"); });
    s.when([this] { return seen(":COMP?") == 1; }, [this] { answer("R;FAST;0\r\n"); })
        .when([this] { return seen(":COMP?") == 2; }, [this] { answer("R;FAST;0\r\n"); })
        .when([this] { return seen(":MEAS:RES?") == 1; },
              [&, this] {
                  Frm_Single* w = LOGGING::SingleWindow();
                  disabled = !w->Cmd_Trig->isEnabled() && !w->Cmd_End->isEnabled();
                  refused = !LOGGING::SingleForm()->close() && LOGGING::SingleWindow() == w;
                  QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // nothing: the reading goes on
                  answer("5E-3\r\n");
              });
    s.start();
    Frm_Single* w = open();
    w->Cmd_Ok->click();
    w->Cmd_Trig->click();
    QVERIFY(!s.failed());
    QVERIFY(disabled);
    QVERIFY(refused);
    QCOMPARE(seen(":MEAS:RES?"), 1);
    QCOMPARE(b.sheets->running->cell(2, 1), QString("5E-3"));
    QVERIFY(LOGGING::SingleForm()->close());
    QVERIFY(!SETTING::GetFormSingleOpen());
}

void TestSingleWindow::scannerTakesRowsForCells() {
    b.up({"--mode", "RV"});
    int beeps = 0;
    LOGGING::SetBeepHook([&] { ++beeps; });
    const QString file = b.path("cells.csv");
    SETTING::SaveSetting("Configuration", "Single Meas Output Method", "0");
    SETTING::SaveSetting("Configuration", "Single Meas File", file);

    // The switch is the operator's, kept for the next opening.
    Frm_Single* w = open();
    w->Chk_CellIds->click();
    QVERIFY(w->Chk_CellIds->isChecked());
    QCOMPARE(SETTING::GetSetting("Form Single", "Cell IDs", "<none>"), QString("1"));
    w->Cmd_Cancel->click();
    w = open();
    QVERIFY(w->Chk_CellIds->isChecked());
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // OK
    QVERIFY(ready(w));
    QCOMPARE(TESTENV::KeyTarget(), w->Txt_CellId);

    // A scanner's burst and its Return: one row for that cell; the field
    // empties and keeps the focus for the next one.
    QVERIFY(TESTENV::TypeText("CELL-0001"));
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));
    QCOMPARE(readFile(file), QByteArray("012.34E-3,+12.345E+0,,CELL-0001\r\n"));
    QCOMPARE(w->Txt_CellId->text(), QString());
    QCOMPARE(TESTENV::KeyTarget(), w->Txt_CellId);
    QCOMPARE(seen(":MEAS:BATT?"), 1);
    QCOMPARE(beeps, 0);

    // Separators, quotes, control characters and a formula start are refused
    // with a beep, typed or pasted; the rest of the burst goes in.
    QVERIFY(TESTENV::TypeText("A,B;C\"DEF"));
    QCOMPARE(w->Txt_CellId->text(), QString("ABCDEF"));
    QCOMPARE(beeps, 3);
    QGuiApplication::clipboard()->setText("X\r\nY");
    QVERIFY(TESTENV::PressKey(Qt::Key_V, Qt::ControlModifier));
    QGuiApplication::clipboard()->setText("X\tY");
    QVERIFY(TESTENV::PressKey(Qt::Key_V, Qt::ControlModifier));
    QCOMPARE(beeps, 5);
    QVERIFY(TESTENV::PressKey(Qt::Key_Home));
    QVERIFY(TESTENV::TypeText("="));
    QCOMPARE(beeps, 6);
    QVERIFY(TESTENV::PressKey(Qt::Key_End));
    QGuiApplication::clipboard()->setText("/7");
    QVERIFY(TESTENV::PressKey(Qt::Key_V, Qt::ControlModifier));
    QCOMPARE(w->Txt_CellId->text(), QString("ABCDEF/7"));
    QCOMPARE(beeps, 6);
    // No longer than 64 characters.
    QVERIFY(TESTENV::TypeText(QString(60, 'x')));
    QCOMPARE(w->Txt_CellId->text().size(), 64);
    QCOMPARE(beeps, 10);
    QVERIFY(TESTENV::PressKey(Qt::Key_A, Qt::ControlModifier));
    QVERIFY(TESTENV::TypeText("ABCDEF/7"));
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));

    // Return with no ID takes nothing: a row must name its cell.
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));
    QCOMPARE(beeps, 11);
    QCOMPARE(w->Lbl_Status->text(), QString("Scan or type the cell ID first."));
    QCOMPARE(seen(":MEAS:BATT?"), 2);
    QCOMPARE(readFile(file), QByteArray("012.34E-3,+12.345E+0,,CELL-0001\r\n"
                                        "012.34E-3,+12.345E+0,,ABCDEF/7\r\n"));
    QCOMPARE(modals->count(), 0);
}

void TestSingleWindow::duplicateCellAsksFirst() {
    b.up({"--mode", "R", "--comp", "1"});
    const QString file = b.path("again.csv");
    // An earlier session with IDs, and rows of another layout that carry none.
    const QByteArray before = "012.34E-3,IN\r\n"
                              "011.00E-3,IN,,OLD-7\r\n";
    writeFile(file, before);
    SETTING::SaveSetting("Configuration", "Single Meas Output Method", "0");
    SETTING::SaveSetting("Configuration", "Single Meas File", file);
    SETTING::SaveSetting("Form Single", "Cell IDs", "1");
    modals.reset();
    TESTENV::BoxAnswerer boxes(QMessageBox::No);
    Frm_Single* w = open();
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // OK
    QVERIFY(ready(w));

    const QString again = "Cell OLD-7 was measured already. Measure it again?";
    QVERIFY(TESTENV::TypeText("OLD-7"));
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, again);
    QCOMPARE(readFile(file), before);   // No: nothing taken
    QCOMPARE(seen(":MEAS:"), 0);
    QCOMPARE(w->Txt_CellId->text(), QString());
    QVERIFY(reactivate());
    QCOMPARE(TESTENV::KeyTarget(), w->Txt_CellId);

    boxes.setButton(QMessageBox::Yes);
    QVERIFY(TESTENV::TypeText("OLD-7"));
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));
    QCOMPARE(boxes.count(), 2);
    QVERIFY(reactivate());
    const QByteArray second = before + "012.34E-3,IN,,OLD-7\r\n";
    QCOMPARE(readFile(file), second);   // the old row stays

    // Cells of this session count too; "IN" of the short rows is no cell.
    boxes.setButton(QMessageBox::No);
    QVERIFY(TESTENV::TypeText("IN"));
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));
    QVERIFY(TESTENV::TypeText("IN"));
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));
    QCOMPARE(boxes.count(), 3);
    QCOMPARE(boxes.last().text, QString("Cell IN was measured already. Measure it again?"));
    QCOMPARE(readFile(file), second + "012.34E-3,IN,,IN\r\n");
}

void TestSingleWindow::sheetRowsCarryCellIds() {
    b.up({"--mode", "RV"});
    auto xl = std::make_shared<SHEET::MemorySheet>();
    b.sheets->running = xl;
    SETTING::SaveSetting("Form Single", "Cell IDs", "1");
    Frm_Single* w = open();
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // OK
    QVERIFY(ready(w));
    QVERIFY(TESTENV::TypeText("S1"));
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));
    // Asked again (and answered Yes): a second row for the same cell.
    QVERIFY(TESTENV::TypeText("S1"));
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));
    QCOMPARE(modals->texts(), QStringList{"Cell S1 was measured already. Measure it again?"});
    QCOMPARE(xl->rows(3, 4), (QStringList{"Resistance|Voltage|Bin|Cell ID", "012.34E-3|+12.345E+0||S1",
                                          "012.34E-3|+12.345E+0||S1"}));
}

void TestSingleWindow::gradedSheetHeaderFromOk() {
    // Grading on, IDs off: the sheet added at OK has both added columns in
    // its header too, and the row its bin.
    b.up({"--mode", "RV"});
    writeFile(b.path("cells.grading"), "[bin]\nname = A\nresistance low = 10m\nresistance high = 15m\n");
    SETTING::SaveGradingEnabled(true);
    SETTING::SaveGradingProfile(b.path("cells.grading"));
    auto graded = std::make_shared<SHEET::MemorySheet>();
    b.sheets->running = graded;
    Frm_Single* w = open();
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // OK
    QVERIFY(ready(w));
    QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // Load
    QCOMPARE(graded->rows(2, 4), (QStringList{"Resistance|Voltage|Bin|Cell ID", "012.34E-3|+12.345E+0|A|"}));
    SETTING::SaveGradingEnabled(false);
}

void TestSingleWindow::handsFreeTakesOneRowPerPlacement() {
    // Probes in the air: over range until the script places them.
    b.up({"--mode", "R", "--res", "of"});
    const QString file = b.path("capture.csv");
    SETTING::SaveSetting("Configuration", "Single Meas Output Method", "0");
    SETTING::SaveSetting("Configuration", "Single Meas File", file);
    SETTING::SaveSetting("Form Single", "Hands-free Capture", "1");
    // Close enough for a steady cell, far too close for the noise to settle by chance.
    SETTING::SaveSetting("Form Single", "Capture Tolerance", "0.1");
    Frm_Single* w = open();
    QVERIFY(w->Chk_HandsFree->isChecked());
    Followed followed;
    auto reads = [this] { return seen(":MEAS:RES?"); };
    auto rows = [&] { return int(followed.events.size()) - 1; };
    int mark = 0;
    QStringList statuses;
    bool quietWhileSettling = true, quietWhileHeld = true, quietWhileLifted = true;
    Script s([w] { w->Cmd_End->click(); }, 60000, 20000);
    const char* values[] = {"012.34E-3", "045.60E-3", "101.00E-3"};
    for (int placement = 0; placement < 3; ++placement) {
        s.when([&] { return w->Lbl_Status->text() == "Place the probes" && reads() >= mark + 5; },
               [&, placement] {
                   if (rows() != placement) quietWhileLifted = false;
                   // Readings that never settle.
                   b.sim->control("set res random:100:900");
                   mark = reads();
               },
               "lifted")
            .when([&] { return reads() >= mark + 20; },
                  [&, placement, values] {
                      if (rows() != placement || !w->Lbl_Status->text().startsWith("Settling")) quietWhileSettling = false;
                      b.sim->control(QStringLiteral("set res %1").arg(values[placement]));
                  },
                  "settling")
            .when([&, placement] { return rows() == placement + 1; }, [&] { mark = reads(); }, "taken")
            .when([&] { return reads() >= mark + 20; },
                  [&, placement] {
                      if (rows() != placement + 1) quietWhileHeld = false;
                      statuses << w->Lbl_Status->text();
                      b.sim->control("set res of");
                      mark = reads();
                  },
                  "held");
    }
    s.when([&] { return w->Lbl_Status->text() == "Place the probes" && reads() >= mark + 5; },
           [&] { QVERIFY(TESTENV::PressKey(Qt::Key_Return)); },   // Close has the focus
           "last lift");
    s.start([] { QVERIFY(TESTENV::PressKey(Qt::Key_Return)); });   // OK: the capture runs until Close
    QVERIFY2(!s.failed(), qPrintable(s.why()));
    QVERIFY(quietWhileLifted);
    QVERIFY(quietWhileSettling);
    QVERIFY(quietWhileHeld);
    QCOMPARE(statuses.value(0), QString::fromUtf8("Taken: 012.34E-3 \u2014 lift the probes"));
    QCOMPARE(readFile(file), QByteArray("012.34E-3\r\n045.60E-3\r\n101.00E-3\r\n"));
    QCOMPARE(followed.events.last(), QString("end"));
    QVERIFY(!LOGGING::SingleWindow());
    QCOMPARE(modals->count(), 0);
    // No setup query after OK's: the loop only reads.
    QCOMPARE(seen(":MOD?"), 1);
}

void TestSingleWindow::handsFreeRowsCarryScannedIds() {
    b.up({"--mode", "R", "--res", "of"});
    int beeps = 0;
    LOGGING::SetBeepHook([&] { ++beeps; });
    const QString file = b.path("scanned.csv");
    SETTING::SaveSetting("Configuration", "Single Meas Output Method", "0");
    SETTING::SaveSetting("Configuration", "Single Meas File", file);
    SETTING::SaveSetting("Form Single", "Cell IDs", "1");
    SETTING::SaveSetting("Form Single", "Hands-free Capture", "1");
    modals.reset();
    TESTENV::BoxAnswerer boxes(QMessageBox::No);
    Frm_Single* w = open();
    auto lifted = [w] { return w->Lbl_Status->text() == "Place the probes"; };
    auto place = [this] { b.sim->control("set res 012.34E-3"); };
    auto lift = [this] { b.sim->control("set res of"); };
    const QString notTaken = QString::fromUtf8("Not taken \u2014 lift the probes");
    QString fieldAfterTake = "<none>";
    Script s([w] { w->Cmd_End->click(); }, 30000, 20000);
    // Scanned before the probes go down: the row is for that cell.
    s.when(lifted, [&] { QVERIFY(TESTENV::TypeText("C1")); place(); }, "first lift")
        .when([&] { return w->Lbl_Status->text().startsWith("Taken: C1"); },
              [&] { fieldAfterTake = w->Txt_CellId->text(); lift(); }, "first take")
        // The same cell again, declined: nothing is taken.
        .when(lifted, [&] { QVERIFY(TESTENV::TypeText("C1")); place(); }, "second lift")
        .when([&] { return w->Lbl_Status->text() == notTaken; },
              [&] { QVERIFY(reactivate()); lift(); }, "declined")
        // No ID scanned: a beep, and nothing taken.
        .when(lifted, [&] { place(); }, "third lift")
        .when([&] { return w->Lbl_Status->text() == notTaken; }, [&] { w->Cmd_End->click(); }, "no ID");
    s.start([] { QVERIFY(TESTENV::PressKey(Qt::Key_Return)); });
    QVERIFY2(!s.failed(), qPrintable(s.why()));
    QCOMPARE(fieldAfterTake, QString());
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, QString("Cell C1 was measured already. Measure it again?"));
    QCOMPARE(beeps, 1);
    QCOMPARE(readFile(file), QByteArray("012.34E-3,,C1\r\n"));
}

ORVEN_TEST_MAIN(TestSingleWindow)
#include "test_single_window.moc"
