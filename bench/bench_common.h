#pragma once
// What the benchmark programs share: starting the simulator as a plain
// child, failing loudly, and reading the resident size.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace BENCH {

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
    std::exit(1);
}

inline long RssKib() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

inline QString SimulatorPath() {
    const QString env = qEnvironmentVariable("ORVEN5927_SIM");
    if (!env.isEmpty()) return env;
    return QDir(QCoreApplication::applicationDirPath()).filePath("../bin/orven5927-sim");
}

// A plain child rather than a QProcess: a QProcess would add its own
// descriptors to every wait of the event loop and so slow the link by
// something the program itself never has.
struct Sim {
    pid_t pid = -1;
    int out = -1;   // kept open so that the simulator may still print
    QString device;
};

// Starts `program` with `args`, its standard output into a pipe whose
// reading end is returned in *out.
inline pid_t Spawn(const QString& program, const QStringList& args, int* out) {
    int fds[2];
    if (::pipe(fds) != 0) Fail("pipe failed");
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> store{path};
    for (const QString& a : args) store.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (auto& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.constData(), &actions, nullptr, argv.data(), environ) != 0)
        Fail("cannot start a child program");
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    *out = fds[0];
    return pid;
}

inline Sim StartSim(const QStringList& args) {
    Sim sim;
    sim.pid = Spawn(SimulatorPath(), args, &sim.out);

    QByteArray line;
    QElapsedTimer t;
    t.start();
    while (!line.contains('\n')) {
        pollfd pfd{sim.out, POLLIN, 0};
        if (::poll(&pfd, 1, 1000) < 0 || t.elapsed() > 10000) Fail("no device line from the simulator");
        char c;
        if ((pfd.revents & POLLIN) && ::read(sim.out, &c, 1) == 1)
            line.append(c);
        else if (pfd.revents & (POLLHUP | POLLERR))
            Fail("the simulator ended");
    }
    line = line.trimmed();
    if (!line.startsWith("PTY ")) Fail("unexpected first line from the simulator");
    sim.device = QString::fromLocal8Bit(line.mid(4));
    return sim;
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// "name: median  (middle half of the rounds lo..hi, n rounds)": the spread
// beside the figure, without the odd round that load from elsewhere spoils.
inline void PrintFigure(const char* name, std::vector<double> rounds, int decimals) {
    if (rounds.empty()) return;
    std::sort(rounds.begin(), rounds.end());
    const size_t n = rounds.size();
    std::printf("%s: %.*f  (middle half of the rounds %.*f..%.*f, %zu rounds)\n", name, decimals, rounds[n / 2],
                decimals, rounds[n / 4], decimals, rounds[n - 1 - n / 4], n);
}

inline void StopSim(Sim& sim) {
    ::kill(sim.pid, SIGTERM);
    int status = 0;
    ::waitpid(sim.pid, &status, 0);
    ::close(sim.out);
}

}  // namespace BENCH
