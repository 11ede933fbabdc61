#include "sim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QtDebug>

namespace {

// Bounded wait for the first stdout line; the simulator prints it before serving.
constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 5000;

// Sleeps in a nested event loop until check() holds or the deadline passes;
// the loop wakes every few milliseconds to look again.
template <typename Check>
bool pollUntil(Check check, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    if (check())
        return true;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(5);
    bool ok = false;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (check()) {
            ok = true;
            loop.quit();
        } else if (deadline.hasExpired()) {
            loop.quit();
        }
    });
    tick.start();
    loop.exec();
    return ok || check();
}

}  // namespace

SimProcess::SimProcess(const QStringList& extraArgs) {
    if (!dir_.isValid()) {
        qWarning() << "SimProcess: no temporary folder";
        return;
    }
    // --exit-with-parent: a test killed by its time-out takes its simulator along.
    QStringList args{"--log", logPath(), "--control", controlPath(), "--exit-with-parent"};
    args += extraArgs;
    QString linkPath;
    for (int i = 0; i < extraArgs.size(); ++i) {
        if (extraArgs[i] == "--link" && i + 1 < extraArgs.size())
            linkPath = extraArgs[i + 1];
        else if (extraArgs[i].startsWith("--link="))
            linkPath = extraArgs[i].mid(7);
    }

    // The simulator's complaints belong in the test's output.
    proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proc_.start(simulatorPath(), args);
    if (!proc_.waitForStarted(kStartTimeoutMs)) {
        qWarning() << "SimProcess: cannot start" << simulatorPath() << proc_.errorString();
        return;
    }
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!proc_.canReadLine() && proc_.state() == QProcess::Running && !deadline.hasExpired())
        proc_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    if (!proc_.canReadLine()) {
        qWarning() << "SimProcess: no PTY line from the simulator";
        return;
    }
    QByteArray line = proc_.readLine().trimmed();
    if (!line.startsWith("PTY ")) {
        qWarning() << "SimProcess: unexpected first line" << line;
        return;
    }
    device_ = linkPath.isEmpty() ? QString::fromLocal8Bit(line.mid(4)) : linkPath;
}

SimProcess::~SimProcess() {
    if (proc_.state() == QProcess::NotRunning)
        return;
    proc_.terminate();
    if (!proc_.waitForFinished(kStopTimeoutMs)) {
        proc_.kill();
        proc_.waitForFinished(kStopTimeoutMs);
    }
}

bool SimProcess::started() const {
    return !device_.isEmpty() && proc_.state() == QProcess::Running;
}

QString SimProcess::devicePath() const {
    return device_;
}

QString SimProcess::logPath() const {
    return dir_.filePath("received.log");
}

QString SimProcess::controlPath() const {
    return dir_.filePath("control");
}

QByteArray SimProcess::received() const {
    QFile f(logPath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool SimProcess::waitReceived(const QByteArray& needle, int timeoutMs) const {
    return pollUntil([&] { return received().contains(needle); }, timeoutMs);
}

bool SimProcess::control(const QString& line) {
    QByteArray bytes = line.toUtf8() + '\n';
    // Non-blocking open fails at once (ENXIO) when nobody reads the FIFO,
    // that is when the simulator has gone.
    int fd = ::open(QFile::encodeName(controlPath()).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // One write of less than PIPE_BUF bytes is never interleaved.
    ssize_t n = ::write(fd, bytes.constData(), size_t(bytes.size()));
    ::close(fd);
    return n == bytes.size();
}

void SimProcess::trigger() {
    signal(SIGUSR1);
}

bool SimProcess::signal(int sig) {
    qint64 pid = proc_.processId();
    return pid > 0 && proc_.state() == QProcess::Running && ::kill(pid_t(pid), sig) == 0;
}

bool SimProcess::waitFinished(int timeoutMs) {
    if (proc_.state() == QProcess::NotRunning)
        return true;
    return pollUntil([&] { return proc_.state() == QProcess::NotRunning; }, timeoutMs);
}

QProcess& SimProcess::process() {
    return proc_;
}

QString SimProcess::simulatorPath() {
    QString env = qEnvironmentVariable("ORVEN5927_SIM");
    if (!env.isEmpty())
        return env;
    return QCoreApplication::applicationDirPath() + "/orven5927-sim";
}
