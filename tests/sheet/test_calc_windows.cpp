// The logging windows writing into a real (headless) Calc through the
// program's provider, against the simulator: the time window's "Meas N"
// sheets, header rows and scrolling, the loading windows' header, rows from
// the active cell, and a document closed or an office killed between readings.
// Office and program run under a locale with a decimal comma (de_DE), where
// readings typed as text would turn into text or lose their point.
#include <QAbstractButton>
#include <QPushButton>

#include "../logging/logging_fixture.h"

#ifdef ORVEN_HAVE_CALC
#include <QLocale>
#include <QProcess>
#include <QRadioButton>
#include <QLineEdit>

#include <clocale>
#include <cmath>

#include "calc_provider.h"
#include "calc_test_office.h"
#include "frm_single.h"
#include "frm_time.h"

using SHEET::CALC::OperatorProbe;

namespace {
const char kEnded[] = "Measurement ended.";
constexpr double kRes = 0.01234;    // the simulator's "012.34E-3"
constexpr double kVolt = 12.345;    // and "+12.345E+0"
}  // namespace

class CalcWindowsTest : public QObject {
    Q_OBJECT

    LT::Bench b;
    std::unique_ptr<LT::Modals> modals;
    QTemporaryDir tmp_;
    QString pipe_;
    SHEET::CALC::Options opt_;
    std::shared_ptr<SHEET::CALC::CalcProvider> provider_;
    std::unique_ptr<OperatorProbe> probe_;

    void up(const QStringList& simArgs) {
        b.up(simArgs);
        SHEET::SetProvider(provider_);
    }
    // What the operator sees in a row: the displayed texts, "|" between cells.
    QString shownRow(int row, int columns) {
        QStringList out;
        for (int c = 1; c <= columns; ++c) {
            const auto cell = probe_->ReadCell(row, c);
            out << (cell ? cell->shown : QStringLiteral("?"));
        }
        return out.join('|');
    }
    bool isValue(int row, int column, double expected) {
        const auto cell = probe_->ReadCell(row, column);
        return cell && cell->kind == OperatorProbe::Cell::Value &&
               std::abs(cell->value - expected) <= 1e-12 * std::max(1.0, std::abs(expected));
    }
    bool isEmpty(int row, int column) {
        const auto cell = probe_->ReadCell(row, column);
        return cell && cell->kind == OperatorProbe::Cell::Empty;
    }
    void closeAllWorkbooks() {
        for (int i = 0; i < 20 && probe_->CloseActiveWorkbook(); ++i) {
        }
    }
    std::optional<int> workbooks() {
        auto app = provider_->Attach();
        return app ? app->WorkbooksCount() : std::nullopt;
    }
    void runTime(const QString& count) {
        LOGGING::MnuMeasTime_Click();
        Frm_Time* w = LOGGING::TimeWindow();
        QVERIFY(w);
        w->Text_Time->setText("0");
        w->Text_Count->setText(count);
        w->OpnMethod[1]->setChecked(true);
        w->Cmd[1]->click();
    }
    Frm_Single* openSingleOnSheet() {
        LOGGING::MnuMeasSingle_Click();
        Frm_Single* w = LOGGING::SingleWindow();
        if (!w) return nullptr;
        w->OpnMethod[1]->click();
        w->Cmd_Ok_Click();
        return w;
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp_.isValid());
        // The locale is built privately when the machine has none, and both
        // the office (through the environment) and this program use it.
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
            QProcess p;
            p.start(QStringLiteral("localedef"), {"-i", "de_DE", "-f", "UTF-8", tmp_.filePath("de_DE.UTF-8")});
            if (!p.waitForStarted(10000)) QSKIP("localedef is missing (Debian package locales): no de_DE locale");
            QVERIFY(p.waitForFinished(120000));
            qputenv("LOCPATH", QFile::encodeName(tmp_.path()));
            if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
                QSKIP("no de_DE locale: localedef could not build it (Debian package locales)");
        }
        qputenv("LC_ALL", "de_DE.UTF-8");
        qputenv("LANG", "de_DE.UTF-8");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        pipe_ = CALCTEST::TestPipe("windows");
        opt_ = CALCTEST::HeadlessOptions(pipe_, tmp_.path() + "/profile");
        provider_ = SHEET::CALC::MakeCalcProvider(opt_);
        QVERIFY(provider_->Create());
        probe_ = std::make_unique<OperatorProbe>(opt_);
        QVERIFY(probe_->Connected());
        // The office reads typed input with a decimal comma.
        QVERIFY(provider_->Attach()->WorkbooksAdd());
        QVERIFY(probe_->Type(1, 1, "1,5"));
        QVERIFY(isValue(1, 1, 1.5));
        QVERIFY(probe_->CloseActiveWorkbook());
    }
    void cleanupTestCase() {
        std::setlocale(LC_ALL, "C");
        SHEET::SetProvider(nullptr);
        if (probe_) probe_->MarkAllUnmodified();
        probe_.reset();
        provider_.reset();
        CALCTEST::EndOffice(pipe_);
    }
    void init() { modals.reset(new LT::Modals); }
    void cleanup() {
        modals.reset();
        b.down();
    }

    void timeRunsNameMeasSheetsInANewThenInTheOpenWorkbook() {
        closeAllWorkbooks();
        up({"--mode", "RV", "--comp", "1"});
        runTime("3");
        QCOMPARE(modals->texts(), QStringList{kEnded});
        QCOMPARE(workbooks(), std::optional<int>(1));
        QCOMPARE(probe_->SheetNames(), std::optional<QStringList>(QStringList{"Meas 1"}));
        QCOMPARE(shownRow(1, 4), QString("Time|Resistance|Voltage|Comp"));
        for (int r = 2; r <= 4; ++r) {
            // The time of day arrives as a time value (shown in the office's own time format).
            QVERIFY(isValue(r, 1, (9 * 3600 + 5 * 60 + 30) / 86400.0));
            QVERIFY2(probe_->At(r, 1).shown.startsWith("09:05:30"), qPrintable(probe_->At(r, 1).shown));
            QVERIFY(isValue(r, 2, kRes));
            QVERIFY(isValue(r, 3, kVolt));
            QCOMPARE(probe_->At(r, 4).shown, QString("IN"));
        }
        QVERIFY(isEmpty(5, 2));

        runTime("1");
        QCOMPARE(workbooks(), std::optional<int>(1));
        QCOMPARE(probe_->SheetNames(), std::optional<QStringList>(QStringList({"Meas 2", "Meas 1"})));
        QCOMPARE(shownRow(1, 4), QString("Time|Resistance|Voltage|Comp"));
        QVERIFY(isValue(2, 2, kRes));
        QVERIFY(isEmpty(3, 2));
    }

    // The instrument's readings stay the same numbers, and what is no
    // reading stays its text, whatever the office's locale.
    void timeRunKeepsReadingsUnderACommaLocale() {
        up({"--silent"});
        const auto seen = [this](const QByteArray& what) { return b.sim->received().count(what); };
        const auto answer = [this](const QByteArray& line) { QVERIFY(b.sim->control("send " + line.toHex())); };
        const QList<QByteArray> readings{"51.10E-3,+3.7010E+0,IN\r\n", "1.2340E+0,+12.500E+0,HI\r\n",
                                         "512.0E-6,-0.0010E+0,LO\r\n", "1.0000E+8,+1.0000E+8,IN\r\n",
                                         "1.0000E+9,-1.0000E+9,IN\r\n"};
        LT::Script script([this] { b.sim->control("silent off"); });
        script.when([&] { return seen(":COMP?") == 1; }, [&] { answer("RV;FAST;1\r\n"); });
        for (int n = 1; n <= readings.size(); ++n)
            script.when([&, n] { return seen(":MEAS:BATT?") == n; }, [&, n] { answer(readings[n - 1]); });
        script.start();
        runTime(QString::number(readings.size()));
        QVERIFY2(!script.failed(), qPrintable(script.why()));
        QCOMPARE(modals->texts(), QStringList{kEnded});
        QCOMPARE(shownRow(1, 4), QString("Time|Resistance|Voltage|Comp"));
        for (int r = 2; r <= 6; ++r) {
            QVERIFY(isValue(r, 1, (9 * 3600 + 5 * 60 + 30) / 86400.0));
            QVERIFY2(probe_->At(r, 1).shown.startsWith("09:05:30"), qPrintable(probe_->At(r, 1).shown));
        }
        QVERIFY(isValue(2, 2, 0.0511));
        QVERIFY(isValue(2, 3, 3.701));
        QVERIFY(isValue(3, 2, 1.234));
        QVERIFY(isValue(3, 3, 12.5));
        QVERIFY(isValue(4, 2, 0.000512));
        QVERIFY(isValue(4, 3, -0.001));
        QCOMPARE(shownRow(3, 4).section('|', 3), QString("HI"));
        QCOMPARE(shownRow(5, 4).section('|', 1), QString("1.0000E+8|+1.0000E+8|IN"));
        QCOMPARE(shownRow(6, 4).section('|', 1), QString("1.0000E+9|-1.0000E+9|IN"));
        for (int c = 2; c <= 4; ++c)
            for (int r : {5, 6}) QCOMPARE(int(probe_->At(r, c).kind), int(OperatorProbe::Cell::Text));
        QVERIFY(isEmpty(7, 2));
    }

    void timeHeaderRowsFollowModeAndComparator_data() {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("comp");   // where "IN" goes: "C", "D" or ""
        QTest::newRow("RV off") << QStringList{"--mode", "RV"} << "Time|Resistance|Voltage|" << "";
        QTest::newRow("RV on") << QStringList{"--mode", "RV", "--comp", "1"} << "Time|Resistance|Voltage|Comp" << "D";
        QTest::newRow("R off") << QStringList{"--mode", "R"} << "Time|Resistance||" << "";
        QTest::newRow("R on") << QStringList{"--mode", "R", "--comp", "1"} << "Time|Resistance|Comp|" << "C";
    }
    void timeHeaderRowsFollowModeAndComparator() {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, header);
        QFETCH(QString, comp);
        up(simArgs);
        runTime("1");
        QCOMPARE(modals->texts(), QStringList{kEnded});
        const auto name = probe_->SheetNames();
        QVERIFY(name.has_value() && !name->isEmpty());
        QVERIFY2(name->first().startsWith("Meas "), qPrintable(name->first()));
        QCOMPARE(shownRow(1, 4), header);
        QVERIFY(isValue(2, 2, kRes));
        const bool voltage = simArgs.contains("RV");
        if (voltage) QVERIFY(isValue(2, 3, kVolt));
        if (comp == "C") QCOMPARE(probe_->At(2, 3).shown, QString("IN"));
        if (!voltage && comp.isEmpty()) QVERIFY(isEmpty(2, 3));
        if (comp == "D")
            QCOMPARE(probe_->At(2, 4).shown, QString("IN"));
        else
            QVERIFY(isEmpty(2, 4));
    }

    void timeRunScrollsPastRow15AndReturnsToTheTop() {
        up({"--mode", "RV"});
        LOGGING::MnuMeasTime_Click();
        Frm_Time* w = LOGGING::TimeWindow();
        QVERIFY(w);
        int lastRow = 0, firstVisible = 0;
        // Seen between two readings, while the run waits for the instrument.
        LT::Script script([w] { w->Cmd[2]->click(); }, 60000);
        script.when([&] { return !isEmpty(19, 2); },
                    [&] {
                        // The last row may still be on its way to the office;
                        // any call of the run's own connection waits for it.
                        QVERIFY(provider_->Attach());
                        for (lastRow = 19; !isEmpty(lastRow + 1, 2); ++lastRow) {
                        }
                        firstVisible = probe_->FirstVisibleRow().value_or(-1);
                        w->Cmd[2]->click();
                    });
        script.start();
        w->Text_Time->setText("0");
        w->Text_Count->setText("0");
        w->OpnMethod[1]->setChecked(true);
        w->Cmd[1]->click();
        QVERIFY(!script.failed());
        QCOMPARE(modals->texts(), QStringList{kEnded});
        // One row down for every row written after row 15.
        QCOMPARE(firstVisible, 1 + (lastRow - 15));
        QCOMPARE(probe_->FirstVisibleRow(), std::optional<int>(1));
    }

    void loadingWindowWritesHeaderThenRowsFromTheActiveCell() {
        closeAllWorkbooks();
        up({"--mode", "RV", "--comp", "1"});
        Frm_Single* w = openSingleOnSheet();
        QVERIFY(w);
        QVERIFY(modals->texts().isEmpty());
        QCOMPARE(workbooks(), std::optional<int>(1));
        QCOMPARE(shownRow(1, 3), QString("Resistance|Voltage|Comp"));
        w->Cmd_Trig_Click();
        w->Cmd_Trig_Click();
        QVERIFY(modals->texts().isEmpty());
        for (int r = 2; r <= 3; ++r) {
            QVERIFY(isValue(r, 1, kRes));
            QVERIFY(isValue(r, 2, kVolt));
            QCOMPARE(probe_->At(r, 3).shown, QString("IN"));
        }
        QVERIFY(isEmpty(4, 1));

        // The operator clicks elsewhere: the next row starts there and moves down.
        QVERIFY(probe_->SelectRange(10, 5, 10, 5));
        w->Cmd_Trig_Click();
        w->Cmd_Trig_Click();
        QVERIFY(isValue(10, 5, kRes));
        QCOMPARE(probe_->At(10, 7).shown, QString("IN"));
        QVERIFY(isValue(11, 5, kRes));
        QVERIFY(isEmpty(4, 1));
        QVERIFY(isEmpty(12, 5));
    }

    void loadingWindowWritesNoHeaderWhereSheetsExist() {
        up({"--mode", "R"});
        QCOMPARE(workbooks(), std::optional<int>(1));
        const QString before = shownRow(1, 3);
        QVERIFY(probe_->SelectRange(20, 2, 20, 2));
        Frm_Single* w = openSingleOnSheet();
        QVERIFY(w);
        QCOMPARE(shownRow(1, 3), before);
        w->Cmd_Trig_Click();
        QVERIFY(isValue(20, 2, kRes));
        QVERIFY(isEmpty(20, 3));
        QVERIFY(isEmpty(21, 2));
        QCOMPARE(workbooks(), std::optional<int>(1));
    }

    void loadingWindowAfterTheDocumentWasClosed() {
        up({"--mode", "RV"});
        Frm_Single* w = openSingleOnSheet();
        QVERIFY(w);
        w->Cmd_Trig_Click();
        closeAllWorkbooks();
        QCOMPARE(workbooks(), std::optional<int>(0));
        w->Cmd_Trig_Click();
        QVERIFY(modals->texts().isEmpty());
        QCOMPARE(workbooks(), std::optional<int>(1));
        QCOMPARE(shownRow(1, 3), QString("Resistance|Voltage|"));
        QVERIFY(isValue(2, 1, kRes));
        QVERIFY(isValue(2, 2, kVolt));
        QVERIFY(isEmpty(3, 1));
    }

    void noOfficeAndNoSofficeGiveTheMessage() {
        up({"--mode", "RV"});
        SHEET::CALC::Options none;
        none.pipe = CALCTEST::TestPipe("nowhere");
        none.soffice = tmp_.path() + "/no/soffice";
        SHEET::SetProvider(SHEET::CALC::MakeCalcProvider(none));
        runTime("1");
        QCOMPARE(modals->texts(), QStringList{"There is not Excel in this personal computer."});
        QCOMPARE(modals->last().icon, int(QMessageBox::Warning));
        QVERIFY(!b.sim->received().contains(":MEAS"));
    }

    // Last: it replaces the office of this test program.
    void loadingWindowAfterTheOfficeWasKilledStartsANewOne() {
        up({"--mode", "RV"});
        Frm_Single* w = openSingleOnSheet();
        QVERIFY(w);
        w->Cmd_Trig_Click();
        const long long first = provider_->StartedPid();
        QVERIFY(CALCTEST::SignalOffice(pipe_, SIGKILL) > 0);
        QTRY_VERIFY_WITH_TIMEOUT(CALCTEST::OfficePids(pipe_).isEmpty(), 20000);

        w->Cmd_Trig_Click();
        QVERIFY2(modals->texts().isEmpty(), qPrintable(modals->texts().join(" / ")));
        QVERIFY(provider_->StartedPid() != first);
        QVERIFY(!CALCTEST::OfficePids(pipe_).isEmpty());
        probe_ = std::make_unique<OperatorProbe>(opt_);
        QCOMPARE(workbooks(), std::optional<int>(1));
        QCOMPARE(shownRow(1, 3), QString("Resistance|Voltage|"));
        QVERIFY(isValue(2, 1, kRes));
        QVERIFY(isEmpty(3, 1));
    }
};

ORVEN_TEST_MAIN(CalcWindowsTest)
#include "test_calc_windows.moc"

#else
class CalcWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void calcNotBuilt() { QSKIP("built without the LibreOffice SDK"); }
};
ORVEN_TEST_MAIN(CalcWindowsTest)
#include "test_calc_windows.moc"
#endif
