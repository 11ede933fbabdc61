// orven5927-log, the logger without a desktop, against the window program's
// time-interval run measured in the same process.
//   log_paced_ratio              readings/s of the logger at interval 0 into a
//                                CSV stream, against the simulator paced at
//                                9600 baud, divided by the time-interval
//                                window's readings/s into a CSV file against
//                                an equally paced simulator; rounds alternate,
//                                median with the middle half beside it
//   log_idle_trigger_cpu_percent the logger waiting for a trigger: its own
//                                user + system time over 5 s, in % of one core
//   log_rss_kib                  the logger's resident memory after 10 000
//                                readings (instant simulator), beside
//   window_rss_kib               this process's (the window program's frame
//                                and the time-interval window) after as many
//   log_rss_fraction             the first divided by the second
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QAbstractButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QThread>

#include <cstdio>
#include <vector>

#include "bench_common.h"
#include "bench_frame.h"
#include "frm_time.h"
#include "logging.h"
#include "rs_lib32.h"

namespace {

using namespace BENCH;

constexpr int kRounds = 7;
constexpr qint64 kPacedReadings = 40;   // about two seconds at 9600 baud
constexpr qint64 kRssReadings = 10000;

QString LoggerPath() {
    const QString env = qEnvironmentVariable("ORVEN5927_LOG");
    if (!env.isEmpty()) return env;
    return QDir(QCoreApplication::applicationDirPath()).filePath("../bin/orven5927-log");
}

// The logger as a plain child with its standard output on a pipe to us.
struct Child {
    pid_t pid = -1;
    int out = -1;
};

Child StartLogger(const QStringList& args) {
    Child c;
    c.pid = Spawn(LoggerPath(), args, &c.out);
    return c;
}

int EndLogger(Child& c, bool signal) {
    if (signal) ::kill(c.pid, SIGTERM);
    // Keep reading so a logger that still writes is not held up.
    char buf[4096];
    while (::read(c.out, buf, sizeof buf) > 0) {
    }
    int status = 0;
    ::waitpid(c.pid, &status, 0);
    ::close(c.out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Reads the logger's lines until `lines` have come; `at` is called with the
// count after each read. Fails after `limitMs`.
template <typename F>
void ReadLines(Child& c, qint64 lines, int limitMs, F at) {
    qint64 seen = 0;
    char buf[65536];
    QElapsedTimer t;
    t.start();
    while (seen < lines) {
        pollfd pfd{c.out, POLLIN, 0};
        if (::poll(&pfd, 1, 1000) < 0 || t.elapsed() > limitMs) Fail("the logger fell silent");
        if (!(pfd.revents & (POLLIN | POLLHUP))) continue;
        const ssize_t n = ::read(c.out, buf, sizeof buf);
        if (n <= 0) Fail("the logger ended early");
        for (ssize_t i = 0; i < n; ++i)
            if (buf[i] == '\n') ++seen;
        at(seen);
    }
}

// Readings per second of one logger run at interval 0: from its first row
// (the line after the header) to its kPacedReadings-th.
double LoggerRun(const QString& device) {
    Child c = StartLogger({"-d", device, "-i", "0", "-n", QString::number(kPacedReadings)});
    qint64 t0 = -1, t1 = -1;
    QElapsedTimer clock;
    clock.start();
    ReadLines(c, kPacedReadings + 1, 60000, [&](qint64 seen) {
        if (t0 < 0 && seen >= 2) t0 = clock.nsecsElapsed();
        if (seen >= kPacedReadings + 1) t1 = clock.nsecsElapsed();
    });
    if (EndLogger(c, false) != 0) Fail("the logger failed");
    if (t0 < 0 || t1 <= t0) Fail("the logger's rows came all at once");
    return double(kPacedReadings - 1) * 1e9 / double(t1 - t0);
}


// The same for the time-interval window into a CSV file, as bench_calc
// measures it: first logged reading to the target-th, then Stop.
double WindowRun(Frm_Time* w, const QString& csv, qint64 target) {
    return TimedTimeRun(w, csv, target).perSecond();
}

long ProcessTicks(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray s = f.readAll();
    // Fields after the command's closing parenthesis; utime and stime are 14 and 15.
    const QList<QByteArray> w = s.mid(s.lastIndexOf(')') + 2).split(' ');
    return w.value(11).toLong() + w.value(12).toLong();
}

long ProcessRssKib(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

int Measure(const QString& loggerPaced, const QString& instant) {
    QTemporaryDir out;
    const QString csv = out.filePath("bench.csv");
    LOGGING::MnuMeasTime_Click();
    Frm_Time* w = LOGGING::TimeWindow();
    if (!w) Fail("the time window did not open");

    // Warm-up of both, then alternating rounds.
    WindowRun(w, csv, kPacedReadings);
    LoggerRun(loggerPaced);
    std::vector<double> ratios, windowRates, loggerRates;
    for (int r = 0; r < kRounds; ++r) {
        const double win = WindowRun(w, csv, kPacedReadings);
        const double log = LoggerRun(loggerPaced);
        windowRates.push_back(win);
        loggerRates.push_back(log);
        ratios.push_back(log / win);
    }
    PrintFigure("log_paced_ratio", ratios, 3);
    PrintFigure("log_paced_readings_per_s", loggerRates, 1);
    PrintFigure("csv_paced_readings_per_s", windowRates, 1);
    std::fflush(stdout);

    // Memory after 10 000 readings: the window on the instant simulator ...
    RS_LIB32::ProgramLink().CommClose();
    qputenv("ORVEN5927_COM1", QFile::encodeName(instant));
    if (RS_LIB32::ProgramLink().CommOpen(0) != 1) Fail("cannot open the instant simulator");
    WindowRun(w, csv, kRssReadings);
    const long windowRss = RssKib();
    RS_LIB32::ProgramLink().CommClose();
    // ... and the logger on the same, its rows read and thrown away.
    {
        Child c = StartLogger({"-d", instant, "-i", "0"});
        ReadLines(c, kRssReadings + 1, 120000, [](qint64) {});
        const long rss = ProcessRssKib(c.pid);
        if (EndLogger(c, true) != 0) Fail("the logger did not end well on SIGTERM");
        std::printf("log_rss_kib: %ld\n", rss);
        std::printf("window_rss_kib: %ld\n", windowRss);
        std::printf("log_rss_fraction: %.3f\n", double(rss) / double(windowRss));
        std::fflush(stdout);
    }

    // Idle while waiting for a trigger that does not come.
    {
        Child c = StartLogger({"-d", instant, "--trigger", "-o", "/dev/null"});
        QThread::msleep(1000);   // past the setup query, into the wait
        const long before = ProcessTicks(c.pid);
        QElapsedTimer t;
        t.start();
        QThread::msleep(5000);
        const long after = ProcessTicks(c.pid);
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        if (EndLogger(c, true) != 0) Fail("the waiting logger did not end well on SIGTERM");
        if (before < 0 || after < 0) Fail("cannot read the logger's times");
        const double cpu = double(after - before) / double(::sysconf(_SC_CLK_TCK)) / seconds * 100.0;
        std::printf("log_idle_trigger_cpu_percent: %.2f\n", cpu);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    UsePrivateSettings(home);
    QApplication app(argc, argv);
    // Two instruments at their real pace (a port has one user at a time),
    // and an instant one for memory and the idle wait.
    Sim windowSim = StartSim({QStringLiteral("--pace")});
    Sim loggerSim = StartSim({QStringLiteral("--pace")});
    Sim instantSim = StartSim({});
    FRAME::SetFatalBoxHook([] { Fail("the port failed"); });
    const int rc = MeasureInFrame(windowSim.device, [&] { return Measure(loggerSim.device, instantSim.device); });
    StopSim(windowSim);
    StopSim(loggerSim);
    StopSim(instantSim);
    return rc;
}
