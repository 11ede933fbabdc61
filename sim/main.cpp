// orven5927-sim: serves the instrument's command language on a raw
// pseudo-terminal. One thread, one poll loop over the terminal, the control
// FIFO and a self-pipe for signals; timers are the poll timeout.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "instrument.h"
#include "options.h"

namespace sim {
namespace {

using Nanos = long long;
constexpr Nanos kMs = 1000000;
// 10 bits a byte (start, 8 data, stop) at 9600 baud.
constexpr Nanos kByteTime = 10LL * 1000000000LL / 9600;
// A command line longer than this is dropped as a whole rather than kept.
constexpr size_t kMaxCommandLine = 4096;
// After "unplug" the process stays a moment so that the client sees the
// device vanish while its far side is still there to be inspected.
constexpr Nanos kUnplugExitDelay = 300 * kMs;

int g_signalPipe[2] = {-1, -1};

void onSignal(int sig) {
    int saved = errno;
    unsigned char b = static_cast<unsigned char>(sig);
    ssize_t r = write(g_signalPipe[1], &b, 1);
    (void)r;
    errno = saved;
}

Nanos now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

std::string printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

bool setNonBlocking(int fd) {
    int fl = fcntl(fd, F_GETFL);
    return fl >= 0 && fcntl(fd, F_SETFL, fl | O_NONBLOCK) == 0 && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

// Removes what an earlier run left at path, but only if it is of the kind
// we create there; anything else may be somebody's file.
bool clearPath(const std::string& path, bool wantLink, std::string* error) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return errno == ENOENT || (*error = path + ": " + std::strerror(errno), false);
    bool ours = wantLink ? S_ISLNK(st.st_mode) : S_ISFIFO(st.st_mode);
    if (!ours) {
        *error = path + " exists and is not a " + (wantLink ? "symbolic link" : "FIFO") + "; not replacing it";
        return false;
    }
    if (unlink(path.c_str()) != 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

class Simulator {
public:
    explicit Simulator(Options o)
        : o_(std::move(o)),
          inst_(o_.settings, o_.seed, [this](const std::string& line) { respond(line); }),
          rng_(o_.seed ^ 0x5927u),
          silent_(o_.silent),
          delayMs_(o_.delayMs) {}

    ~Simulator() { cleanup(); }

    bool setUp(std::string* error);
    int run();

private:
    void respond(const std::string& line);
    void schedule(std::string bytes, Nanos due);
    void readMaster();
    void readControl();
    void readSignals();
    void control(const std::string& line);
    void pump();
    void unplug();
    void cleanup();
    void removeLink();
    void reportUnknown();
    void trigger(const char* how) {
        verbose("trigger", how);
        inst_.trigger();
        reportUnknown();
    }
    void verbose(const char* what, const std::string& bytes) {
        if (o_.verbose)
            std::fprintf(stderr, "orven5927-sim: %s %s\n", what, printable(bytes).c_str());
    }

    struct Pending {
        Nanos due;
        std::string bytes;
    };

    Options o_;
    Instrument inst_;
    std::mt19937 rng_;
    bool silent_;
    int delayMs_;

    int master_ = -1, slave_ = -1;
    std::string pts_;
    bool linkMade_ = false;
    int logFd_ = -1;
    bool logFailed_ = false;
    int ctlFd_ = -1, ctlKeep_ = -1;
    bool fifoMade_ = false;
    std::string ctlBuf_;

    std::string line_;
    bool lineTooLong_ = false;

    std::deque<Pending> pending_;
    Nanos lastDue_ = 0;
    std::string out_;
    Nanos nextByteAt_ = -1;   // paced output: when the next byte may go; -1 = idle
    bool outBlocked_ = false;  // the terminal's buffer is full: wait for POLLOUT

    Nanos triggerAt_ = -1;
    Nanos exitAt_ = -1;
    bool quit_ = false;
    int exitCode_ = 0;
};

bool Simulator::setUp(std::string* error) {
    // Signals first, so that a stop during set-up still removes what we made.
    if (pipe(g_signalPipe) != 0 || !setNonBlocking(g_signalPipe[0]) || !setNonBlocking(g_signalPipe[1])) {
        *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGUSR1, SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    if (o_.exitWithParent) {
        // A test that crashes or is killed must not leave us running for ever.
        pid_t parent = getppid();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)   // it ended in between
            raise(SIGTERM);
    }

    termios tio{};
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (openpty(&master_, &slave_, nullptr, &tio, nullptr) != 0) {
        *error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    // Keeping the slave open ourselves means a client that closes and reopens
    // the device never leaves the master without a far side (EIO).
    const char* name = ptsname(master_);
    if (!name || !setNonBlocking(master_) || fcntl(slave_, F_SETFD, FD_CLOEXEC) != 0) {
        *error = std::string("pseudo-terminal set-up: ") + std::strerror(errno);
        return false;
    }
    pts_ = name;

    if (!o_.link.empty()) {
        if (!clearPath(o_.link, true, error))
            return false;
        if (symlink(pts_.c_str(), o_.link.c_str()) != 0) {
            *error = o_.link + ": " + std::strerror(errno);
            return false;
        }
        linkMade_ = true;
    }
    if (!o_.log.empty()) {
        logFd_ = open(o_.log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (logFd_ < 0) {
            *error = o_.log + ": " + std::strerror(errno);
            return false;
        }
    }
    if (!o_.control.empty()) {
        if (!clearPath(o_.control, false, error))
            return false;
        if (mkfifo(o_.control.c_str(), 0600) != 0) {
            *error = o_.control + ": " + std::strerror(errno);
            return false;
        }
        fifoMade_ = true;
        ctlFd_ = open(o_.control.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        // A writer of our own keeps the FIFO from reporting end-of-file
        // (and waking poll for ever) between control clients.
        ctlKeep_ = ctlFd_ < 0 ? -1 : open(o_.control.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (ctlFd_ < 0 || ctlKeep_ < 0) {
            *error = o_.control + ": " + std::strerror(errno);
            return false;
        }
    }

    std::printf("PTY %s\n", pts_.c_str());
    std::fflush(stdout);
    return true;
}

void Simulator::respond(const std::string& line) {
    if (silent_)
        return;
    verbose("answer", line);
    Nanos t = now() + delayMs_ * kMs;
    schedule(line + (o_.crlf ? "\r\n" : "\n"), t);
}

// Keeps output in the order it was made even when the delay shrinks.
void Simulator::schedule(std::string bytes, Nanos due) {
    due = std::max(due, lastDue_);
    lastDue_ = due;
    pending_.push_back({due, std::move(bytes)});
}

void Simulator::readMaster() {
    char buf[4096];
    for (;;) {
        ssize_t n = read(master_, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            std::fprintf(stderr, "orven5927-sim: reading the pseudo-terminal failed: %s\n",
                         n == 0 ? "end of file" : std::strerror(errno));
            quit_ = true;
            exitCode_ = 1;
            return;
        }
        if (logFd_ >= 0 && !logFailed_) {
            ssize_t done = 0;
            while (done < n) {
                ssize_t w = write(logFd_, buf + done, n - done);
                if (w < 0 && errno == EINTR)
                    continue;
                if (w <= 0) {
                    std::fprintf(stderr, "orven5927-sim: writing the log failed: %s\n", std::strerror(errno));
                    logFailed_ = true;
                    break;
                }
                done += w;
            }
        }
        for (ssize_t i = 0; i < n; ++i) {
            char c = buf[i];
            if (c != '\n') {
                if (line_.size() < kMaxCommandLine)
                    line_ += c;
                else
                    lineTooLong_ = true;
                continue;
            }
            if (lineTooLong_) {
                std::fprintf(stderr, "orven5927-sim: dropped a command line longer than %zu bytes\n",
                             kMaxCommandLine);
            } else if (silent_) {
                verbose("ignored (silent)", line_);
            } else {
                verbose("received", line_);
                inst_.feedLine(line_);
                reportUnknown();
            }
            line_.clear();
            lineTooLong_ = false;
        }
    }
}

// A mistyped command only shows as a missing answer: say so.
void Simulator::reportUnknown() {
    for (const std::string& c : inst_.takeUnknown())
        std::fprintf(stderr, "orven5927-sim: unknown command \"%s\", not answered\n", printable(c).c_str());
}

void Simulator::readSignals() {
    unsigned char sigs[64];
    ssize_t n;
    while ((n = read(g_signalPipe[0], sigs, sizeof sigs)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (sigs[i] == SIGUSR1) {
                trigger("(signal)");
            } else {
                quit_ = true;
            }
        }
    }
}

void Simulator::readControl() {
    char buf[4096];
    ssize_t n;
    while ((n = read(ctlFd_, buf, sizeof buf)) > 0) {
        ctlBuf_.append(buf, n);
        size_t lf;
        while ((lf = ctlBuf_.find('\n')) != std::string::npos) {
            std::string line = ctlBuf_.substr(0, lf);
            ctlBuf_.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            control(line);
        }
        if (ctlBuf_.size() > 1 << 20) {
            std::fprintf(stderr, "orven5927-sim: control line too long, dropped\n");
            ctlBuf_.clear();
        }
    }
}

// Byte counts of generated output, up to a size a test could want.
bool parseCount(const std::string& text, size_t* out) {
    if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *out = std::stoul(text);
    return *out <= 1000000;
}

bool parseOnOff(const std::string& text, bool* out) {
    if (text == "on" || text == "off") {
        *out = text == "on";
        return true;
    }
    return false;
}

void Simulator::control(const std::string& line) {
    std::string word = line.substr(0, line.find(' '));
    std::string rest = word.size() < line.size() ? line.substr(word.size() + 1) : std::string();
    verbose("control", line);
    auto bad = [&](const char* why) { std::fprintf(stderr, "orven5927-sim: control \"%s\": %s\n", line.c_str(), why); };
    bool on = false;
    size_t count = 0;
    Nanos t = now();
    if (line.empty()) {
        return;
    } else if (line == "trigger") {
        trigger("(control)");
    } else if (line == "quit") {
        quit_ = true;
    } else if (line == "unplug") {
        unplug();
    } else if (word == "silent") {
        if (!parseOnOff(rest, &on))
            return bad("expected on or off");
        silent_ = on;
    } else if (word == "extra-fields") {
        if (!parseOnOff(rest, &on))
            return bad("expected on or off");
        inst_.settings().extraFields = on;
    } else if (word == "garbage") {
        if (!parseCount(rest, &count))
            return bad("expected a byte count");
        std::uniform_int_distribution<int> byte(0, 254);
        std::string bytes;
        for (size_t i = 0; i < count; ++i) {
            int b = byte(rng_);
            bytes += static_cast<char>(b >= '\n' ? b + 1 : b);   // every value but LF
        }
        schedule(bytes, t);
    } else if (word == "overlong") {
        if (!parseCount(rest, &count))
            return bad("expected a byte count");
        static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::uniform_int_distribution<int> pick(0, sizeof alphabet - 2);
        std::string bytes;
        for (size_t i = 0; i < count; ++i)
            bytes += alphabet[pick(rng_)];
        schedule(bytes, t);
    } else if (word == "send") {
        if (rest.size() % 2 || rest.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return bad("expected an even number of hex digits");
        std::string bytes;
        for (size_t i = 0; i < rest.size(); i += 2)
            bytes += static_cast<char>(std::stoi(rest.substr(i, 2), nullptr, 16));
        schedule(bytes, t);
    } else if (word == "set") {
        std::string what = rest.substr(0, rest.find(' '));
        if (what.size() >= rest.size())
            return bad("expected set WHAT VALUE");
        std::string value = rest.substr(what.size() + 1);
        Settings& s = inst_.settings();
        std::string err;
        if (what == "res" || what == "volt") {
            auto v = ValueSource::parse(what == "res" ? ValueSource::Quantity::Resistance
                                                      : ValueSource::Quantity::Voltage,
                                        value, &err);
            if (!v)
                return bad(err.c_str());
            (what == "res" ? s.res : s.volt) = *v;
        } else if (what == "mode") {
            s.mode = value;
        } else if (what == "speed") {
            s.speed = value;
        } else if (what == "comp") {
            s.comp = value;
        } else if (what == "comp-result") {
            s.compResult = value;
        } else if (what == "delay") {
            if (!parseMillis(value, &delayMs_))
                return bad("expected a number of milliseconds");
        } else {
            return bad("unknown setting");
        }
    } else {
        bad("unknown control command (see --help)");
    }
}

void Simulator::unplug() {
    if (master_ < 0)
        return;
    // The link goes first: once the master closes, /dev/pts/N is removed and
    // clients on the slave get errors, and by then the link must be gone too.
    removeLink();
    close(master_);
    close(slave_);
    master_ = slave_ = -1;
    pending_.clear();
    out_.clear();
    exitAt_ = now() + kUnplugExitDelay;
}

void Simulator::pump() {
    if (master_ < 0 || out_.empty() || outBlocked_)
        return;
    size_t n = out_.size();
    if (o_.pace) {
        Nanos t = now();
        if (nextByteAt_ < 0)
            nextByteAt_ = t + kByteTime;
        if (t < nextByteAt_)
            return;
        // Never catch up in a burst after a stall: at most two bytes at once.
        nextByteAt_ = std::max(nextByteAt_, t - kByteTime);
        n = std::min<size_t>(n, 1 + (t - nextByteAt_) / kByteTime);
    }
    ssize_t w = write(master_, out_.data(), n);
    if (w < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            outBlocked_ = true;
        else if (errno != EINTR) {
            // Not retried: the same failure would come back on every pass.
            std::fprintf(stderr, "orven5927-sim: writing the pseudo-terminal failed, %zu bytes dropped: %s\n",
                         out_.size(), std::strerror(errno));
            out_.clear();
            nextByteAt_ = -1;
        }
        return;
    }
    out_.erase(0, w);
    if (o_.pace)
        nextByteAt_ = out_.empty() ? -1 : nextByteAt_ + w * kByteTime;
}

int Simulator::run() {
    while (!quit_) {
        Nanos t = now();
        // Timers first: delayed answers, the trigger timer, the exit after unplug.
        while (!pending_.empty() && pending_.front().due <= t) {
            if (master_ >= 0)
                out_ += pending_.front().bytes;
            pending_.pop_front();
        }
        if (o_.triggerIntervalMs > 0) {
            if (!inst_.waiting()) {
                triggerAt_ = -1;
            } else if (triggerAt_ < 0) {
                triggerAt_ = t + o_.triggerIntervalMs * kMs;
            } else if (triggerAt_ <= t) {
                triggerAt_ = -1;
                trigger("(timer)");
                continue;   // the answer it released may be due now
            }
        }
        if (exitAt_ >= 0 && exitAt_ <= t)
            break;
        pump();

        Nanos wake = -1;
        auto soonest = [&](Nanos at) {
            if (at >= 0 && (wake < 0 || at < wake))
                wake = at;
        };
        if (!pending_.empty())
            soonest(pending_.front().due);
        if (o_.pace && !out_.empty() && !outBlocked_)
            soonest(nextByteAt_);
        soonest(triggerAt_);
        soonest(exitAt_);

        pollfd fds[3];
        int nfds = 0;
        int masterAt = -1, ctlAt = -1;
        fds[nfds++] = {g_signalPipe[0], POLLIN, 0};
        if (master_ >= 0) {
            masterAt = nfds;
            short ev = POLLIN;
            if (!out_.empty() && (!o_.pace || outBlocked_))
                ev |= POLLOUT;
            fds[nfds++] = {master_, ev, 0};
        }
        if (ctlFd_ >= 0) {
            ctlAt = nfds;
            fds[nfds++] = {ctlFd_, POLLIN, 0};
        }
        timespec ts, *tsp = nullptr;
        if (wake >= 0) {
            Nanos d = std::max<Nanos>(0, wake - now());
            ts.tv_sec = d / 1000000000LL;
            ts.tv_nsec = d % 1000000000LL;
            tsp = &ts;
        }
        int r = ppoll(fds, nfds, tsp, nullptr);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "orven5927-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        // Signals and control lines before the terminal: whatever was sent to
        // us before a command line acts before it. (A line is logged and run in
        // one step, so a trigger sent after the line shows in the log finds it
        // waiting.)
        if (fds[0].revents & POLLIN)
            readSignals();
        if (ctlAt >= 0 && (fds[ctlAt].revents & POLLIN))
            readControl();
        if (masterAt >= 0 && master_ >= 0 && (fds[masterAt].revents & (POLLIN | POLLERR | POLLHUP)))
            readMaster();
        if (masterAt >= 0 && (fds[masterAt].revents & POLLOUT))
            outBlocked_ = false;
    }
    return exitCode_;
}

void Simulator::removeLink() {
    if (!linkMade_)
        return;
    // Only our own link: another simulator may have taken the name since.
    char target[4096];
    ssize_t n = readlink(o_.link.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, n) == pts_)
        unlink(o_.link.c_str());
    linkMade_ = false;
}

void Simulator::cleanup() {
    removeLink();
    if (fifoMade_) {
        unlink(o_.control.c_str());
        fifoMade_ = false;
    }
    for (int* fd : {&master_, &slave_, &logFd_, &ctlFd_, &ctlKeep_})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
}

}  // namespace
}  // namespace sim

int main(int argc, char** argv) {
    sim::Options opts;
    std::string error;
    if (!sim::parseOptions(argc, argv, &opts, &error)) {
        std::fprintf(stderr, "orven5927-sim: %s\n", error.c_str());
        return 2;
    }
    if (opts.help) {
        std::fputs(sim::usageText(), stdout);
        return 0;
    }
    sim::Simulator s(opts);
    if (!s.setUp(&error)) {
        std::fprintf(stderr, "orven5927-sim: %s\n", error.c_str());
        return 1;
    }
    return s.run();
}
