// Logging speed and memory of time-interval runs to CSV against the instant
// simulator. The runs' reading rate is set against the bare exchange rate of
// CommSend + CommReceive measured in the same process on the same port.
//   csv_logging_ratio          run readings/s divided by bare exchanges/s:
//                              median over rounds that alternate the two,
//                              the middle half of them beside it
//   csv_logging_rss_growth_kib resident memory growth over 100 000 readings
//                              (25 runs, after a warm-up run)
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <vector>

#include "bench_common.h"
#include "bench_frame.h"
#include "commands.h"
#include "frame.h"
#include "frm_time.h"
#include "logging.h"
#include "rs_lib32.h"

namespace {

using namespace BENCH;

constexpr qint64 kReadings = 100000;
constexpr int kBareExchanges = 45000;



struct Round {
    qint64 readings = 0;
    qint64 ms = 0;
};

// Bare exchanges: the command the run repeats, and its answer.
Round Bare(int count) {
    QStringList fields{QString(), QString(), QString()};
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        RS_LIB32::ProgramLink().CommSend(QString::fromLatin1(CMD::MeasBatt));
        RS_LIB32::ProgramLink().CommReceive(fields);
    }
    return {count, t.elapsed()};
}

// One real run of the window (Start, the save dialog, interval 0, until
// Stop) that is stopped once `target` readings are logged.
Round Run(Frm_Time* w, const QString& csv, qint64 target) {
    const TimedRound r = TimedTimeRun(w, csv, target, false, 10);
    return {r.readings, r.ns / 1000000};
}

int Measure() {
    QTemporaryDir out;
    const QString csv = out.filePath("bench.csv");
    LOGGING::MnuMeasTime_Click();
    Frm_Time* w = LOGGING::TimeWindow();

    // Warm-up, then rounds that alternate the two, so that a machine whose
    // load changes meanwhile weighs on both alike. Two rounds run back to
    // back see about the same load: the ratio is taken per pair, then the
    // median.
    Bare(2000);
    Run(w, csv, 5000);
    const long rss0 = RssKib();
    constexpr int kRounds = 25;
    std::vector<double> ratios, bareRates, runRates;
    for (int i = 0; i < kRounds; ++i) {
        const Round b = Bare(kBareExchanges / kRounds);
        const Round r = Run(w, csv, kReadings / kRounds);
        if (r.ms <= 0 || b.ms <= 0) {
            std::fprintf(stderr, "bench_logging: a run did not reach its readings\n");
            return 1;
        }
        bareRates.push_back(b.readings * 1000.0 / double(b.ms));
        runRates.push_back(r.readings * 1000.0 / double(r.ms));
        ratios.push_back(runRates.back() / bareRates.back());
    }
    const long rss1 = RssKib();
    std::printf("csv_logging_readings_per_s: %.0f\n", Median(runRates));
    std::printf("bare_exchanges_per_s: %.0f\n", Median(bareRates));
    PrintFigure("csv_logging_ratio", ratios, 3);
    std::printf("csv_logging_rss_growth_kib: %ld\n", rss1 - rss0);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    UsePrivateSettings(home);
    QApplication app(argc, argv);

    // The instrument: instant answers, no byte log.
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(SimulatorPath(), {"--exit-with-parent"});
    QByteArray first;
    QElapsedTimer startWait;
    startWait.start();
    while (!first.contains('\n') && startWait.elapsed() < 10000) {
        sim.waitForReadyRead(100);
        first += sim.readAllStandardOutput();
    }
    if (!first.startsWith("PTY ")) {
        std::fprintf(stderr, "bench_logging: simulator did not start (%s)\n", qPrintable(SimulatorPath()));
        return 1;
    }
    const int rc = MeasureInFrame(QString::fromLocal8Bit(first.mid(4, first.indexOf('\n') - 4).trimmed()), Measure);
    sim.terminate();
    sim.waitForFinished(5000);
    return rc;
}
