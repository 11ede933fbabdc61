// Speed of one exchange over the link against a plain C termios loop on the
// same kind of pseudo-terminal and the same simulator, and the processor time
// a receive uses while it waits for a line that does not come.
//
// Prints "name: value" lines:
//   termios_exchanges_per_s, link_exchanges_per_s (medians of the rounds),
//   link_exchange_ratio (median of the ratios of adjacent rounds, the
//   middle half of them beside it),
//   the same three with "paced_" in front against a simulator that sends
//   at the real 9600 baud,
//   idle_wait_wall_ms, idle_wait_cpu_ms, idle_wait_cpu_percent
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "bench_common.h"
#include "commands.h"
#include "errors.h"
#include "rs_lib32.h"
#include "frame.h"

namespace {

using namespace BENCH;

// Many short rounds: each pair of rounds sees about the same load from elsewhere.
constexpr int kExchanges = 300;   // per round
constexpr int kRounds = 101;
constexpr int kIdleWaitMs = 10000;


double seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }
double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

// The baseline: blocking write and read on the device, nothing else.
double termiosRate(const QString& device, int exchanges) {
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0) Fail("termios open failed");
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B9600);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &tio);
    tcflush(fd, TCIOFLUSH);

    const QByteArray cmd = QByteArray(CMD::MeasRes) + "\r\n";
    char buf[256];
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < exchanges; ++i) {
        if (::write(fd, cmd.constData(), size_t(cmd.size())) != ssize_t(cmd.size())) Fail("termios write");
        bool done = false;
        while (!done) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) Fail("termios read");
            done = std::memchr(buf, '\n', size_t(n)) != nullptr;
        }
    }
    const double secs = double(t.nsecsElapsed()) / 1e9;
    ::close(fd);
    return exchanges / secs;
}

double linkRate(int exchanges) {
    RS_LIB32::ProgramLink().CommInit();
    if (RS_LIB32::ProgramLink().CommOpen(0) != 1) Fail("CommOpen failed");
    QStringList fields(3);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < exchanges; ++i) {
        if (!RS_LIB32::ProgramLink().CommSend(QString::fromLatin1(CMD::MeasRes))) Fail("CommSend failed");
        RS_LIB32::ProgramLink().CommReceive(fields);
    }
    const double secs = double(t.nsecsElapsed()) / 1e9;
    if (fields[0].isEmpty()) Fail("empty answer");
    RS_LIB32::ProgramLink().CommClose();
    return exchanges / secs;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    FRAME::SetFatalBoxHook([] { Fail("the port failed"); });

    // An instant responder shows the link's own cost; one paced at the real
    // 9600 baud shows what the operator gets.
    struct Run {
        const char* prefix;
        QStringList args;
        int exchanges;
        int rounds;
    };
    for (const Run& run : {Run{"", {}, kExchanges, kRounds}, Run{"paced_", {"--pace"}, 60, 3}}) {
        Sim sim = StartSim(run.args);
        const QString device = sim.device;
        qputenv("ORVEN5927_COM1", QFile::encodeName(device));
        // Alternate the two so that load from elsewhere hits both alike.
        std::vector<double> base, link;
        for (int r = 0; r < run.rounds; ++r) {
            base.push_back(termiosRate(device, run.exchanges));
            link.push_back(linkRate(run.exchanges));
        }
        // Load from other programs drifts; two rounds run back to back see
        // about the same, so the ratio is taken per pair, then the median.
        std::vector<double> ratios;
        for (size_t i = 0; i < base.size(); ++i) ratios.push_back(link[i] / base[i]);
        std::printf("%stermios_exchanges_per_s: %.0f\n", run.prefix, Median(base));
        std::printf("%slink_exchanges_per_s: %.0f\n", run.prefix, Median(link));
        PrintFigure(QByteArray(run.prefix).append("link_exchange_ratio").constData(), ratios, 3);
        std::fflush(stdout);
        StopSim(sim);
    }

    {
        Sim sim = StartSim({"--silent"});
        const QString device = sim.device;
        qputenv("ORVEN5927_COM1", QFile::encodeName(device));
        RS_LIB32::ProgramLink().CommInit();
        if (RS_LIB32::ProgramLink().CommOpen(0) != 1) Fail("CommOpen failed");
        RS_LIB32::ProgramLink().CommSend(QString::fromLatin1(CMD::MeasRes));
        QStringList fields(3);
        QElapsedTimer t;
        const double cpu0 = cpuSeconds();
        t.start();
        bool timedOut = false;
        try {
            RS_LIB32::ProgramLink().CommReceive(fields, kIdleWaitMs);
        } catch (const NoResponseError&) {
            timedOut = true;
        }
        const double wallMs = double(t.nsecsElapsed()) / 1e6;
        const double cpuMs = (cpuSeconds() - cpu0) * 1000.0;
        if (!timedOut) Fail("the silent simulator answered");
        std::printf("idle_wait_wall_ms: %.0f\n", wallMs);
        std::printf("idle_wait_cpu_ms: %.2f\n", cpuMs);
        std::printf("idle_wait_cpu_percent: %.3f\n", 100.0 * cpuMs / wallMs);
        RS_LIB32::ProgramLink().CommClose();
        StopSim(sim);
    }
    return 0;
}
