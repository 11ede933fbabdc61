// What grading costs a logging run at the instrument's pace: the time-interval
// window's runs at interval 0 to CSV against the simulator paced at 9600 baud,
// with grading switched on (a profile, the display's verdict) and followed by
// the trend window (bins, yield, Cp/Cpk, limit lines), against the same runs
// with grading off and no trend window, alternated in one process.
//   grading_logging_ratio   readings/s graded with the window divided by readings/s with
//                           neither: the median over pairs of runs back to back, the
//                           middle half of the pairs beside it
// With --picture FILE it only takes the picture of the README instead: one
// graded run of 120 readings a quarter second apart, the window saved as PNG.
#include <QApplication>
#include <QMdiSubWindow>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <vector>

#include "bench_common.h"
#include "bench_frame.h"
#include "outfiles.h"
#include "outputs.h"
#include "profile_file.h"
#include "readings.h"
#include "rs_lib32.h"
#include "runs.h"
#include "settings.h"
#include "trend_form.h"
#include "trend_window.h"

namespace {

using namespace BENCH;

// About six seconds a run at the paced line: a dozen of the window's redraws.
constexpr qint64 kRoundReadings = 250;
constexpr int kRounds = 8;

struct Round {
    qint64 readings = 0;
    qint64 ms = 0;
};

// The picture's run: the engine's interval run as the window makes it,
// `target` readings `interval` seconds apart.
Round Run(const QString& csv, const std::optional<GRADING::Profile>& profile, qint64 target,
          float interval = 0.0f) {
    const int fileNo = OUTFILES::FreeFile();
    if (!OUTFILES::OpenForOutput(fileNo, csv)) Fail("cannot open the CSV file");
    qint16 stop = 0;
    ACQ::IntervalRun run(RS_LIB32::ProgramLink(), stop);
    ACQ::CsvFile file(fileNo, csv, ACQ::CsvFile::Form::TimeStamped, true);
    ACQ::Published published({.kind = READINGS::Kind::TimeInterval}, &file);
    run.AddOutput(&file);
    run.AddOutput(&published);
    run.SetGrading(profile);
    QElapsedTimer clock;
    qint64 n = 0, t0 = -1, t1 = -1;
    QObject::connect(&run, &ACQ::Run::readingTaken, [&] {
        ++n;
        if (n == 1) clock.start(), t0 = 0;
        if (n == target + 1) {
            t1 = clock.elapsed();
            stop = 1;
            run.Wake();
        }
    });
    const ACQ::Outcome out = run.Start(interval, 0);
    if (!out.ok() || t1 <= t0) return {};
    return {target, t1 - t0};
}

void OpenTrend() {
    if (!APP::TrendForm()) APP::ToggleTrend(nullptr);
    // Its first layout and paint belong to the opening, not to the run.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 100) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

QString picture;

int Measure() {
    // Two bins over the simulator's 10..40 mOhm, the rest rejects; limits on both quantities.
    const GRADING::ReadResult read = GRADING::ParseProfile(
        "name = bench\n[limits]\nresistance low = 12m\nresistance high = 38m\nvoltage low = 3.1\n"
        "voltage high = 3.9\n[bin]\nname = A\ncolour = #00a000\nresistance low = 10m\nresistance high = 20m\n"
        "[bin]\nname = B\ncolour = #a0a000\nresistance low = 20m\nresistance high = 30m\n");
    if (!read.profile) Fail("the bench profile does not read");
    QTemporaryDir out;
    const QString csv = out.filePath("bench.csv");
    const QString profileFile = out.filePath("bench.grading");
    if (!GRADING::WriteProfile(*read.profile, profileFile).isEmpty()) Fail("cannot write the bench profile");
    SETTING::SaveGradingProfile(profileFile);
    SETTING::SaveGradingSounds(false);

    if (!picture.isEmpty()) {
        OpenTrend();
        APP::TrendForm()->resize(900, 600);
        Run(out.filePath("cells-2026-12-07.csv"), read.profile, 120, 0.25f);
        return APP::TrendWindowObject()->picture().save(picture, "PNG") ? 0 : 1;
    }

    LOGGING::MnuMeasTime_Click();
    Frm_Time* w = LOGGING::TimeWindow();
    if (!w) Fail("the time-interval window did not open");
    auto windowRun = [&](bool graded) {
        SETTING::SaveGradingEnabled(graded);
        return TimedTimeRun(w, csv, kRoundReadings).perSecond();
    };
    windowRun(false);
    OpenTrend();
    windowRun(true);
    std::vector<double> ratios, offRates, onRates;
    for (int i = 0; i < kRounds; ++i) {
        APP::ResetTrendForTests();
        offRates.push_back(windowRun(false));
        OpenTrend();
        onRates.push_back(windowRun(true));
        ratios.push_back(onRates.back() / offRates.back());
    }
    TrendWindow* trend = APP::TrendWindowObject();
    const GRADING::Capability* c = trend ? trend->capability() : nullptr;
    std::printf("grading_on_readings_per_s: %.1f\n", Median(onRates));
    std::printf("grading_off_readings_per_s: %.1f\n", Median(offRates));
    PrintFigure("grading_logging_ratio", ratios, 3);
    if (c)
        std::printf("# the last graded run: %d graded, yield %.3f, %lld redraws of %.1f ms on average\n",
                    c->graded(), c->yield().value_or(0), static_cast<long long>(trend->refreshes()),
                    trend->refreshMsAverage());
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    UsePrivateSettings(home);
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--picture") picture = QString::fromLocal8Bit(argv[2]);

    Sim sim = StartSim({"--exit-with-parent", "--pace", "--comp", "1", "--res", "random:10:40", "--volt",
                        "random:3:4"});
    const int rc = MeasureInFrame(sim.device, Measure);
    StopSim(sim);
    return rc;
}
