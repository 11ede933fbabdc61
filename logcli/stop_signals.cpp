#include "stop_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace LOGCLI {

namespace {
int pipeFds[2] = {-1, -1};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int signo) {
    const int saved = errno;
    const char byte = char(signo);
    // A full pipe already holds a stop; nothing more to say.
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}
}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {}

StopSignals::~StopSignals() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    for (int s : kSignals) ::sigaction(s, &sa, nullptr);
}

bool StopSignals::Install(QString* error) {
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = QStringLiteral("cannot make a pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::drain);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    // Restarted calls: a signal must not fail a write to the output.
    sa.sa_flags = SA_RESTART;
    for (int s : kSignals) ::sigaction(s, &sa, nullptr);
    return true;
}

void StopSignals::drain() {
    char buf[16];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
        for (ssize_t i = 0; i < n; ++i) emit received(int(buf[i]));
}

}  // namespace LOGCLI
