// What the trend window costs a logging run: time-interval runs at interval 0
// to CSV against the instant simulator, with the window open (following every
// reading and redrawing) and without it, alternated in one process.
//   trend_logging_ratio   readings/s with the window open divided by readings/s without it:
//                         the median over 20 pairs of runs, each pair run back to back, so
//                         that other work on the machine weighs on both runs of a pair alike
//   trend_rss_growth_kib  resident memory growth over 100 000 readings of one run with
//                         the window open (from its 1 000th reading to its 101 000th)
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
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
#include "frm_time.h"
#include "logging.h"
#include "readings.h"
#include "rs_lib32.h"
#include "trend_form.h"
#include "trend_window.h"

namespace {

using namespace BENCH;

constexpr qint64 kRoundReadings = 20000;
constexpr int kRounds = 10;
constexpr qint64 kMemoryReadings = 100000;

struct Round {
    qint64 readings = 0;
    qint64 ms = 0;
    long rssAtStart = -1;   // resident size when the first counted reading was in
};

// One real run of the window (Start, interval 0, until Stop), stopped once
// `skip + target` readings are logged; timed from reading `skip`.
Round Run(Frm_Time* w, const QString& csv, qint64 skip, qint64 target) {
    LOGGING::SetFileChooser([csv](bool) { return csv; });
    w->Text_Time->setText("0");
    w->Text_Count->setText("0");
    w->OpnMethod[0]->setChecked(true);
    QElapsedTimer clock;
    qint64 t0 = -1, n0 = 0, t1 = -1, n1 = 0;
    long rss0 = -1;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                if (QAbstractButton* b = box->defaultButton()) b->click();
            return;
        }
        const qint64 n = w->ReadingsLogged();
        if (t0 < 0 && n >= qMax<qint64>(1, skip)) {
            t0 = clock.elapsed();
            n0 = n;
            rss0 = RssKib();
        }
        if (t0 >= 0 && t1 < 0 && n - n0 >= target) {
            t1 = clock.elapsed();
            n1 = n;
            w->Cmd[2]->click();
        }
    });
    watch.start();
    clock.start();
    w->Cmd[1]->click();   // returns when the run has ended
    if (t0 < 0 || t1 <= t0) return {};
    return {n1 - n0, t1 - t0, rss0};
}

void OpenTrend() {
    if (!APP::TrendForm()) APP::ToggleTrend(nullptr);
    // Open before the run starts, as an operator opens it: its first layout
    // and paint belong to the opening, not to the run.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 100) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

int Measure() {
    QTemporaryDir out;
    const QString csv = out.filePath("bench.csv");
    LOGGING::MnuMeasTime_Click();
    Frm_Time* w = LOGGING::TimeWindow();

    // Warm-up of both, then rounds that alternate them so that a machine
    // whose load changes meanwhile weighs on both alike. Without the window
    // means no window at all: a closed one would still follow the readings.
    Run(w, csv, 0, 5000);
    OpenTrend();
    Run(w, csv, 0, 5000);
    Round without, with;
    std::vector<double> ratios;
    for (int i = 0; i < kRounds; ++i) {
        APP::ResetTrendForTests();
        const Round a = Run(w, csv, 0, kRoundReadings);
        OpenTrend();
        const Round b = Run(w, csv, 0, kRoundReadings);
        if (a.ms <= 0 || b.ms <= 0) {
            std::fprintf(stderr, "bench_trend: a run did not reach its readings\n");
            return 1;
        }
        ratios.push_back((double(b.readings) / double(b.ms)) / (double(a.readings) / double(a.ms)));
        without.readings += a.readings;
        without.ms += a.ms;
        with.readings += b.readings;
        with.ms += b.ms;
    }

    // Memory: one long run with the window open, after a warm-up run.
    const Round memory = Run(w, csv, 1000, kMemoryReadings);
    const long rss1 = RssKib();
    if (memory.ms <= 0) {
        std::fprintf(stderr, "bench_trend: the long run did not reach its readings\n");
        return 1;
    }
    TrendWindow* trend = APP::TrendWindowObject();
    const double withoutRate = without.readings * 1000.0 / double(qMax<qint64>(1, without.ms));
    const double withRate = with.readings * 1000.0 / double(qMax<qint64>(1, with.ms));
    std::printf("trend_open_logging_readings_per_s: %.0f\n", withRate);
    std::printf("trend_closed_logging_readings_per_s: %.0f\n", withoutRate);
    std::sort(ratios.begin(), ratios.end());
    const double median = (ratios[ratios.size() / 2] + ratios[(ratios.size() - 1) / 2]) / 2;
    std::printf("trend_logging_ratio: %.3f\n", median);
    std::printf("# pooled over all pairs: %.3f; pairs from %.3f to %.3f\n", withRate / withoutRate, ratios.front(),
                ratios.back());
    std::printf("trend_rss_growth_kib: %ld\n", rss1 - memory.rssAtStart);
    std::printf("# the long run: %lld readings followed, %d resistance points drawn; since the window "
                "opened %lld redraws of %.1f ms each on average, %d ms apart at the end\n",
                static_cast<long long>(trend ? trend->statistics().readings : 0),
                trend ? trend->resistancePointsDrawn() : 0, static_cast<long long>(trend ? trend->refreshes() : 0),
                trend ? trend->refreshMsAverage() : 0.0, trend ? trend->refreshIntervalMs() : 0);
    // What one reading costs the window by itself, handed over directly.
    {
        const QStringList fields{"016.24E-3", "+03.991E+0", "IN"};
        const long before = RssKib();
        QElapsedTimer t;
        t.start();
        constexpr int kDirect = 200000;
        for (int i = 0; i < kDirect; ++i)
            READINGS::Publish({QTime(10, 0).addMSecs(i), fields, 1, 1});
        const double us = t.nsecsElapsed() / 1000.0 / kDirect;
        if (trend) trend->refresh();
        std::printf("# one reading handed to the open window: %.2f us; %d more handed so: %ld KiB more memory\n", us,
                    kDirect, RssKib() - before);
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Moving readings, so each slice of time has a lowest and a highest point to draw.
    return BENCH::RunWithSimulator(argc, argv, {"--exit-with-parent", "--comp", "1", "--res", "random:10:40", "--volt", "random:3:4"}, Measure);
}
