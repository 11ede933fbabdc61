// Processor time of the window program while it logs: a time-interval run at
// interval 0 to CSV against the simulator paced at 9600 baud, the display
// window showing the readings. The line sets the pace, so what is measured is
// the program's own work per reading, as a share of one core.
//   gui_logging_cpu_percent     the program's processor time over the run's
//                               wall time, display window visible; median
//                               over rounds
//   gui_logging_cpu_ms_per_reading  the same per reading
//   bare_link_cpu_percent       baseline in the same process: the same
//                               exchanges at the same pace with no window,
//                               no file, no display
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

#include "bench_common.h"
#include "bench_frame.h"
#include "commands.h"
#include "frm_time.h"
#include "logging.h"
#include "readings.h"
#include "rs_lib32.h"

namespace {

using namespace BENCH;

constexpr qint64 kReadingsPerRound = 300;   // about 7 s at the line's pace
constexpr int kRounds = 5;

double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

struct Round {
    double cpuMs = 0;
    double wallMs = 0;
    qint64 readings = 0;
};

// Stops the run at its target from the readings it follows (no polling
// timer of our own to weigh on the figure).
class StopAt : public READINGS::Subscriber {
public:
    StopAt(Frm_Time* w, qint64 target) : w_(w), target_(target) { READINGS::Subscribe(this); }
    void activityStarted(const READINGS::Activity&) override {}
    void activityEnded() override {}
    void readingTaken(const READINGS::Reading&) override {
        if (++seen_ == 1) {
            cpu0_ = CpuMs();
            wall_.start();
        }
        if (seen_ == target_ + 1) {
            round_ = {CpuMs() - cpu0_, double(wall_.nsecsElapsed()) / 1e6, target_};
            w_->Cmd[2]->click();
        }
    }
    Round round_;

private:
    Frm_Time* w_;
    qint64 target_;
    qint64 seen_ = 0;
    double cpu0_ = 0;
    QElapsedTimer wall_;
};

Round Logged(Frm_Time* w, const QString& csv) {
    LOGGING::SetFileChooser([csv](bool) { return csv; });
    w->Text_Time->setText("0");
    w->Text_Count->setText("0");
    w->OpnMethod[0]->setChecked(true);
    StopAt stop(w, kReadingsPerRound);
    w->Cmd[1]->click();   // returns when the run has ended and its notice is closed
    return stop.round_;
}

Round Bare() {
    QStringList fields{QString(), QString(), QString()};
    RS_LIB32::Link& link = RS_LIB32::ProgramLink();
    link.CommSend(QString::fromLatin1(CMD::MeasBatt));
    link.CommReceive(fields);
    const double cpu0 = CpuMs();
    QElapsedTimer wall;
    wall.start();
    for (qint64 i = 0; i < kReadingsPerRound; ++i) {
        link.CommSend(QString::fromLatin1(CMD::MeasBatt));
        link.CommReceive(fields);
    }
    return {CpuMs() - cpu0, double(wall.nsecsElapsed()) / 1e6, kReadingsPerRound};
}

int Measure() {
    QTemporaryDir out;
    const QString csv = out.filePath("bench.csv");
    LOGGING::MnuMeasTime_Click();
    Frm_Time* w = LOGGING::TimeWindow();
    // The notice at each run's end: closed at once so the next round can start.
    QTimer closer;
    closer.setInterval(50);
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    closer.start();

    std::vector<double> gui, perReading, bare, rate;
    Logged(w, csv);   // warm-up
    for (int i = 0; i < kRounds; ++i) {
        const Round b = Bare();
        const Round g = Logged(w, csv);
        if (g.wallMs <= 0 || b.wallMs <= 0) Fail("a round took no readings");
        bare.push_back(100.0 * b.cpuMs / b.wallMs);
        gui.push_back(100.0 * g.cpuMs / g.wallMs);
        perReading.push_back(g.cpuMs / double(g.readings));
        rate.push_back(g.readings * 1000.0 / g.wallMs);
    }
    std::printf("gui_logging_readings_per_s: %.1f\n", Median(rate));
    PrintFigure("bare_link_cpu_percent", bare, 2);
    PrintFigure("gui_logging_cpu_percent", gui, 2);
    PrintFigure("gui_logging_cpu_ms_per_reading", perReading, 3);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return BENCH::RunWithSimulator(argc, argv, {"--exit-with-parent", "--pace"}, Measure);
}
