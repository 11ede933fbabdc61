// The spreadsheet output against the CSV output of the same windows, in one
// run, against the simulator paced at the instrument's 9600 baud, with a real
// headless LibreOffice Calc. Rounds alternate the two outputs so that load
// from elsewhere weighs on both alike; each figure is the median over the
// rounds, the middle half of the rounds beside it.
//   calc_paced_ratio      time-interval run at interval 0: readings/s into
//                         the sheet divided by readings/s into a CSV file
//   calc_return_key_ms    return-key window: Load press to the row in the sheet
//   csv_return_key_ms     the same into the CSV file
//   calc_return_key_added_percent  what the sheet adds to a press
//   calc_row_ms           one loaded row on its own (one call into the office)
//   calc_row_per_cell_ms  the same row made of one call per cell, as before
// With no office to start it says so and exits 0.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_common.h"
#include "bench_frame.h"
#include "frame.h"
#include "frm_single.h"
#include "frm_time.h"
#include "logging.h"
#include "rs_lib32.h"
#include "sheet.h"

#ifdef ORVEN_HAVE_CALC
#include "calc_provider.h"
#endif

namespace {

using namespace BENCH;

#ifdef ORVEN_HAVE_CALC

constexpr int kRounds = 7;
constexpr qint64 kTimeReadings = 40;   // per time-interval run, about a second at 9600 baud
constexpr int kPresses = 8;            // per return-key round
constexpr int kRows = 200;             // rows written on their own

// Readings per second of one time-interval run at interval 0, from its first
// logged reading to its `target`-th; Stop is pressed then.
double TimeRun(Frm_Time* w, bool sheet, const QString& csv) {
    return TimedTimeRun(w, csv, kTimeReadings, sheet).perSecond();
}

// Median milliseconds from a Load press to its row, over kPresses presses of
// a return-key window opened on the sheet or on a CSV file.
double ReturnKeyRound(bool sheet, const QString& csv) {
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, &AnswerBoxes);
    watch.start();
    LOGGING::MnuMeasSingle_Click();
    Frm_Single* w = LOGGING::SingleWindow();
    if (!w) Fail("the return-key window did not open");
    w->OpnMethod[sheet ? 1 : 0]->click();
    if (!sheet) w->Txt_File->setText(csv);
    w->Cmd_Ok->click();
    if (!w->Cmd_Trig->isVisible()) Fail("the return-key window did not get ready");
    std::vector<double> ms;
    QElapsedTimer t;
    for (int i = 0; i < kPresses; ++i) {
        t.start();
        w->Cmd_Trig->click();   // returns once the row is written
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents();
    }
    w->Cmd_End->click();
    QCoreApplication::processEvents();
    return Median(ms);
}

int Measure(SHEET::CALC::CalcProvider& provider, const QString& folder) {
    const QString csv = folder + QStringLiteral("/bench.csv");
    LOGGING::MnuMeasTime_Click();
    Frm_Time* time = LOGGING::TimeWindow();
    if (!time) Fail("the time window did not open");

    // Warm-up of both paths, then alternating rounds.
    TimeRun(time, false, csv);
    TimeRun(time, true, csv);
    std::vector<double> paced, csvRates, calcRates;
    for (int r = 0; r < kRounds; ++r) {
        const double c = TimeRun(time, false, csv);
        const double s = TimeRun(time, true, csv);
        csvRates.push_back(c);
        calcRates.push_back(s);
        paced.push_back(s / c);
    }
    time->Cmd[0]->click();
    QCoreApplication::processEvents();
    PrintFigure("calc_paced_ratio", paced, 3);
    PrintFigure("calc_paced_readings_per_s", calcRates, 1);
    PrintFigure("csv_paced_readings_per_s", csvRates, 1);
    std::fflush(stdout);

    ReturnKeyRound(false, csv);
    ReturnKeyRound(true, csv);
    std::vector<double> csvMs, calcMs, added;
    for (int r = 0; r < kRounds; ++r) {
        const double c = ReturnKeyRound(false, csv);
        const double s = ReturnKeyRound(true, csv);
        csvMs.push_back(c);
        calcMs.push_back(s);
        added.push_back(100.0 * (s - c) / c);
    }
    PrintFigure("calc_return_key_ms", calcMs, 2);
    PrintFigure("csv_return_key_ms", csvMs, 2);
    PrintFigure("calc_return_key_added_percent", added, 1);
    std::fflush(stdout);

    // One row on its own, as one call and as the calls per cell it used to be.
    auto app = provider.Attach();
    if (!app || !app->SelectCell(2, 1)) Fail("the office did not answer");
    const QStringList fields{QStringLiteral("012.34E-3"), QStringLiteral("+12.345E+0"), QStringLiteral("IN")};
    std::vector<double> one, perCell;
    QElapsedTimer t;
    for (int i = 0; i < kRows; ++i) {
        t.start();
        if (!app->LoadRowAtActiveCell(fields)) Fail("a row into the office failed");
        one.push_back(double(t.nsecsElapsed()) / 1e6);
        t.start();
        const auto at = app->ActiveCell();
        bool ok = at.has_value();
        for (int k = 0; ok && k < 3; ++k) ok = app->SetCellValue(at->first, at->second + k, fields[k]);
        ok = ok && app->SelectCell(at->first + 1, at->second);
        if (!ok) Fail("a cell into the office failed");
        perCell.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("calc_row_ms: %.3f\n", Median(one));
    std::printf("calc_row_per_cell_ms: %.3f\n", Median(perCell));
    std::fflush(stdout);
    return 0;
}

#endif

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    UsePrivateSettings(home);
    QApplication qapp(argc, argv);
#ifndef ORVEN_HAVE_CALC
    std::printf("# calc: built without the LibreOffice SDK, nothing measured\n");
    return 0;
#else
    QTemporaryDir tmp;
    SHEET::CALC::Options o;
    o.pipe = QStringLiteral("orven5927_bench_%1").arg(QCoreApplication::applicationPid());
    o.extraArgs = {QStringLiteral("--headless"),
                   QStringLiteral("-env:UserInstallation=file://%1/profile").arg(tmp.path())};
    auto provider = SHEET::CALC::MakeCalcProvider(o);
    auto app = provider->Create();
    if (!app || !app->WorkbooksAdd()) {
        std::printf("# calc: no office could be started (soffice missing or not answering), nothing measured\n");
        SHEET::CALC::KillProcessTree(provider->StartedPid());
        return 0;
    }
    app.reset();
    SHEET::SetProvider(provider);

    // The instrument at its real pace.
    Sim sim = StartSim({QStringLiteral("--pace")});
    FRAME::SetFatalBoxHook([] { Fail("the port failed"); });
    const int rc = MeasureInFrame(sim.device, [&] { return Measure(*provider, tmp.path()); });
    StopSim(sim);
    // The office was started for this measurement only.
    SHEET::SetProvider(nullptr);
    SHEET::CALC::OperatorProbe(o).MarkAllUnmodified();
    const long long pid = provider->StartedPid();
    provider.reset();
    SHEET::CALC::KillProcessTree(pid);
    return rc;
#endif
}
