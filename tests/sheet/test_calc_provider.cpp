// The Calc provider against a real headless office: what the logging windows
// rely on (workbooks, sheets, names, typed cell input, the active cell,
// scrolling), checked from outside through a second client.
#include <QApplication>
#include <QTest>

#include "test_env.h"

#ifdef ORVEN_HAVE_CALC
#include "calc_provider.h"
#include "calc_test_office.h"
#include "memory_sheet.h"

#include <cmath>
#include <unistd.h>

using SHEET::CALC::OperatorProbe;

class CalcProviderTest : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString pipe_;
    SHEET::CALC::Options opt_;
    std::shared_ptr<SHEET::CALC::CalcProvider> provider_;
    std::shared_ptr<SHEET::Application> app_;
    std::unique_ptr<OperatorProbe> probe_;
    int nextRow_ = 0;

    // The loading windows' row: three cells from the active cell, then the cell below.
    void WriteLoadedRow(const QStringList& fields) {
        const auto at = app_->ActiveCell();
        QVERIFY(at.has_value());
        for (int k = 0; k < 3; ++k) QVERIFY(app_->SetCellValue(at->first, at->second + k, fields.value(k)));
        QVERIFY(app_->SelectCell(at->first + 1, at->second));
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp_.isValid());
        pipe_ = CALCTEST::TestPipe("ops");
        opt_ = CALCTEST::HeadlessOptions(pipe_, tmp_.path() + "/profile");
        provider_ = SHEET::CALC::MakeCalcProvider(opt_);
        QVERIFY2(!provider_->Attach(), "nothing listens on a fresh pipe name yet");
        app_ = provider_->Create();
        QVERIFY2(app_, "the office could not be started");
        QVERIFY(provider_->StartedPid() > 0);
        // The office lives in a session of its own, beyond the program's signals.
        const pid_t officeSession = ::getsid(pid_t(provider_->StartedPid()));
        QVERIFY(officeSession > 0);
        QVERIFY(officeSession != ::getsid(0));
        probe_ = std::make_unique<OperatorProbe>(opt_);
        QVERIFY(probe_->Connected());
    }

    void cleanupTestCase() {
        if (probe_) probe_->MarkAllUnmodified();
        probe_.reset();
        app_.reset();
        provider_.reset();
        CALCTEST::EndOffice(pipe_);
    }

    void workbooksAndSheetsAreCountedAndAdded() {
        QCOMPARE(app_->WorkbooksCount(), std::optional<int>(0));
        QVERIFY2(!app_->WorksheetsCount().has_value(), "no workbook, so no sheets to count");
        QVERIFY(!app_->SetCellValue(1, 1, "x"));

        QVERIFY(app_->WorkbooksAdd());
        QCOMPARE(app_->WorkbooksCount(), std::optional<int>(1));
        QCOMPARE(app_->WorksheetsCount(), std::optional<int>(1));
        const auto first = app_->ActiveSheetName();
        QVERIFY(first.has_value());

        QVERIFY(app_->WorksheetsAdd());
        QCOMPARE(app_->WorksheetsCount(), std::optional<int>(2));
        const auto added = app_->ActiveSheetName();
        QVERIFY(added.has_value());
        QVERIFY2(*added != *first, "the added sheet must be the active one");
        // Excel puts the new sheet in front of the one that was active.
        QCOMPARE(probe_->SheetNames(), std::optional<QStringList>(QStringList{*added, *first}));
        QCOMPARE(app_->WorkbooksCount(), std::optional<int>(1));
    }

    void sheetIsNamedAndARenameOntoAUsedNameFails() {
        QVERIFY(app_->SetActiveSheetName("Meas 1"));
        QCOMPARE(app_->ActiveSheetName(), std::optional<QString>("Meas 1"));
        QVERIFY2(app_->SetActiveSheetName("Meas 1"), "keeping its own name is no clash");

        QVERIFY(app_->WorksheetsAdd());
        const auto fresh = app_->ActiveSheetName();
        QVERIFY(fresh.has_value());
        QVERIFY(!app_->SetActiveSheetName("Meas 1"));
        QCOMPARE(app_->ActiveSheetName(), fresh);
        QVERIFY(probe_->SheetNames().value_or(QStringList()).contains("Meas 1"));
        QCOMPARE(probe_->SheetNames().value_or(QStringList()).count("Meas 1"), 1);

        QVERIFY(app_->SetActiveSheetName("Meas 2"));
        QCOMPARE(probe_->SheetNames().value_or(QStringList()).count("Meas 2"), 1);
    }

    // Every cell as the instrument sent it: readings as numbers, the time of
    // day as a time, and what is no reading as text exactly as sent (never a
    // formula). The in-memory sheet of the tests agrees on each kind.
    void cellsHoldReadingsTimesAndTextAsSent_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shown");
        const int V = OperatorProbe::Cell::Value, T = OperatorProbe::Cell::Text;
        QTest::newRow("resistance") << "051.10E-3" << V << 0.0511 << "";
        QTest::newRow("ohms") << "1.2340E+0" << V << 1.234 << "";
        QTest::newRow("microohms") << "512.0E-6" << V << 0.000512 << "";
        QTest::newRow("voltage") << "+12.500E+0" << V << 12.5 << "";
        QTest::newRow("negative voltage") << "-0.0010E+0" << V << -0.001 << "";
        QTest::newRow("over range") << "1.0000E+8" << T << 0.0 << "1.0000E+8";
        QTest::newRow("no measurement") << "1.0000E+9" << T << 0.0 << "1.0000E+9";
        QTest::newRow("voltage over range") << "+1.0000E+8" << T << 0.0 << "+1.0000E+8";
        QTest::newRow("voltage no measurement") << "-1.0000E+9" << T << 0.0 << "-1.0000E+9";
        QTest::newRow("time of day") << "09:05:30" << V << (9 * 3600 + 5 * 60 + 30) / 86400.0 << "09:05:30";
        QTest::newRow("comparator") << "HI" << T << 0.0 << "HI";
        QTest::newRow("header") << "Resistance" << T << 0.0 << "Resistance";
        QTest::newRow("formula-like garbage") << "=1+1" << T << 0.0 << "=1+1";
        QTest::newRow("decimal comma") << "12,5" << T << 0.0 << "12,5";
        QTest::newRow("two points") << "1.2.3" << T << 0.0 << "1.2.3";
        QTest::newRow("blank before") << " 12" << T << 0.0 << " 12";
        QTest::newRow("no time") << "25:00:00" << T << 0.0 << "25:00:00";
    }
    void cellsHoldReadingsTimesAndTextAsSent() {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(double, value);
        QFETCH(QString, shown);
        // A fresh cell each time: a number format left by an earlier value would change what is shown.
        const int row = 40 + nextRow_++;
        QVERIFY(app_->SetCellValue(row, 2, text));
        const auto cell = probe_->ReadCell(row, 2);
        QVERIFY(cell.has_value());
        QCOMPARE(int(cell->kind), kind);
        if (kind == OperatorProbe::Cell::Value)
            QVERIFY2(std::abs(cell->value - value) <= 1e-12 * std::max(1.0, std::abs(value)),
                     qPrintable(QString::number(cell->value, 'g', 17)));
        if (kind == OperatorProbe::Cell::Text) QCOMPARE(cell->shown, shown);
        else if (!shown.isEmpty()) QVERIFY2(cell->shown.startsWith(shown), qPrintable(cell->shown));

        SHEET::MemorySheet memory;
        QVERIFY(memory.WorkbooksAdd());
        QVERIFY(memory.SetCellValue(1, 1, text));
        QCOMPARE(memory.cell(1, 1), text);
        const SHEET::CellContent::Kind memoryKind = memory.kind(1, 1);
        QCOMPARE(memoryKind == SHEET::CellContent::Text, kind == OperatorProbe::Cell::Text);
        QCOMPARE(memoryKind == SHEET::CellContent::Time, text == QLatin1String("09:05:30"));
    }

    void emptyTextEmptiesTheCell() {
        QVERIFY(app_->SetCellValue(4, 4, "1.0000E+8"));
        QCOMPARE(int(probe_->At(4, 4).kind), int(OperatorProbe::Cell::Text));
        QVERIFY(app_->SetCellValue(4, 4, ""));
        QCOMPARE(int(probe_->At(4, 4).kind), int(OperatorProbe::Cell::Empty));
        QVERIFY(app_->SetCellValue(4, 4, "1.5E+0"));
        QCOMPARE(int(probe_->At(4, 4).kind), int(OperatorProbe::Cell::Value));
        QVERIFY(app_->SetCellValue(4, 4, ""));
        QCOMPARE(int(probe_->At(4, 4).kind), int(OperatorProbe::Cell::Empty));
    }

    void positionsOutsideTheSheetFail() {
        QVERIFY(!app_->SetCellValue(0, 1, "x"));
        QVERIFY(!app_->SetCellValue(1, 0, "x"));
        QVERIFY(!app_->SelectCell(0, 1));
        QVERIFY(!app_->SetCellValue(1, 20000, "x"));
        QVERIFY(!app_->SetScrollRow(0));
        // The application is still usable after refused calls.
        QVERIFY(app_->SetCellValue(1, 1, "ok"));
    }

    void activeCellFollowsSelectAndTheOperator() {
        QVERIFY(app_->SelectCell(5, 3));
        QCOMPARE(app_->ActiveCell(), std::optional(std::make_pair(5, 3)));

        // The operator drags over B7:D9: the row goes to its top-left cell.
        QVERIFY(probe_->SelectRange(7, 2, 9, 4));
        QCOMPARE(app_->ActiveCell(), std::optional(std::make_pair(7, 2)));
        WriteLoadedRow({"12.34E-3", "4.1234E+0", "PASS"});
        WriteLoadedRow({"12.50E-3", "4.1200E+0", ""});
        QCOMPARE(app_->ActiveCell(), std::optional(std::make_pair(9, 2)));
        QCOMPARE(probe_->At(7, 2).value, 0.01234);
        QCOMPARE(probe_->At(7, 4).shown, QString("PASS"));
        QCOMPARE(probe_->At(8, 3).value, 4.12);
        QCOMPARE(int(probe_->At(8, 4).kind), int(OperatorProbe::Cell::Empty));
        QCOMPARE(int(probe_->At(7, 1).kind), int(OperatorProbe::Cell::Empty));
    }

    void rowsGoToTheSheetTheOperatorSwitchedTo() {
        const auto names = probe_->SheetNames();
        QVERIFY(names.has_value() && names->contains("Meas 1"));
        QVERIFY(probe_->ActivateSheet("Meas 1"));
        QCOMPARE(app_->ActiveSheetName(), std::optional<QString>("Meas 1"));
        QVERIFY(app_->SetCellValue(2, 1, "Elsewhere"));
        QCOMPARE(probe_->At(2, 1).shown, QString("Elsewhere"));
    }

    void viewScrollsByRowsAndBackToTheTop() {
        QVERIFY(app_->SetScrollRow(1));
        QCOMPARE(probe_->FirstVisibleRow(), std::optional<int>(1));
        for (int i = 0; i < 3; ++i) QVERIFY(app_->SmallScrollDown(1));
        QCOMPARE(probe_->FirstVisibleRow(), std::optional<int>(4));
        QVERIFY(app_->SetScrollRow(1));
        QCOMPARE(probe_->FirstVisibleRow(), std::optional<int>(1));
        QVERIFY(app_->SetScrollRow(30));
        QCOMPARE(probe_->FirstVisibleRow(), std::optional<int>(30));
        QVERIFY(app_->SetScrollRow(1));
    }

    void obtainAttachesToTheRunningOffice() {
        // A second provider, as after a restart of the program, finds the same office.
        SHEET::SetProvider(SHEET::CALC::MakeCalcProvider(opt_));
        const SHEET::Obtained o = SHEET::Obtain();
        SHEET::SetProvider(nullptr);
        QVERIFY(o.app);
        QVERIFY2(!o.started, "an office already running is attached, not started");
        QCOMPARE(o.app->WorkbooksCount(), app_->WorkbooksCount());
        QCOMPARE(o.app->ActiveSheetName(), app_->ActiveSheetName());
    }

    void documentClosedBetweenCalls() {
        QCOMPARE(app_->WorkbooksCount(), std::optional<int>(1));
        QVERIFY(probe_->CloseActiveWorkbook());
        QCOMPARE(app_->WorkbooksCount(), std::optional<int>(0));
        QVERIFY(!app_->SetCellValue(2, 1, "lost"));
        QVERIFY(!app_->ActiveCell().has_value());
        QVERIFY(!app_->ActiveSheetName().has_value());
        // What a loading window does next: a new workbook, header, A2.
        QVERIFY(provider_->Attach());
        QVERIFY(app_->WorkbooksAdd());
        QVERIFY(app_->SetCellValue(1, 1, "Resistance"));
        QVERIFY(app_->SelectCell(2, 1));
        QCOMPARE(app_->ActiveCell(), std::optional(std::make_pair(2, 1)));
        QCOMPARE(probe_->At(1, 1).shown, QString("Resistance"));
        QCOMPARE(app_->WorkbooksCount(), std::optional<int>(1));
    }
};

ORVEN_TEST_MAIN(CalcProviderTest)
#include "test_calc_provider.moc"

#else
class CalcProviderTest : public QObject {
    Q_OBJECT
private slots:
    void calcNotBuilt() { QSKIP("built without the LibreOffice SDK"); }
};
ORVEN_TEST_MAIN(CalcProviderTest)
#include "test_calc_provider.moc"
#endif
