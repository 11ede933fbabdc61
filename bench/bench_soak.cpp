// Soak: the three logging windows driven for a long stretch against the
// instant simulator, writing CSV files, as a technician leaves them running.
//   1. time interval, interval 0, 100 000 readings, stopped with Stop;
//   2. 1 000 readings by the return key;
//   3. 1 000 readings by external trigger (one every millisecond).
// A reading taken is a measuring query the simulator received (its byte
// log); a row kept is a well-formed line in the files. Memory is the
// resident size after a warm-up of all three against the size at the end,
// and the same for open descriptors.
// Every rate is set against the bare exchange rate (CommSend + CommReceive of
// the same query on the same port) measured in the same run, before and
// after the long run.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMessageBox>
#include <QPointer>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench_common.h"
#include "bench_frame.h"
#include "commands.h"
#include "frame.h"
#include "frm_extio.h"
#include "frm_single.h"
#include "frm_time.h"
#include "logging.h"
#include "rs_lib32.h"
#include "clock.h"

namespace {

using namespace BENCH;

constexpr qint64 kTimeReadings = 100000;
constexpr int kKeyReadings = 1000;
constexpr int kTriggerReadings = 1000;
constexpr int kBareExchanges = 10000;   // before and again after the long run

// Open descriptors: a window that forgets its file or its dialog's watcher
// shows here long before the process runs out.
int OpenFds() { return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()); }

// Counts the measuring queries in the simulator's byte log as it grows.
// Reads through a fixed buffer so that counting adds nothing to the memory
// being measured.
class LogTail {
public:
    explicit LogTail(QString path) : path_(std::move(path)) {}
    qint64 Update() {
        QFile f(path_);
        if (!f.open(QIODevice::ReadOnly) || !f.seek(pos_)) return readings_;
        char buf[65536];
        qint64 n;
        while ((n = f.read(buf, sizeof buf)) > 0) {
            pos_ += n;
            for (qint64 i = 0; i < n; ++i) Take(buf[i]);
        }
        return readings_;
    }

private:
    void Take(char c) {
        if (c == '\r') return;
        if (c != '\n') {
            if (len_ < sizeof line_) line_[len_] = c;
            ++len_;
            return;
        }
        const QByteArrayView cmd(line_, qMin(len_, sizeof line_));
        if (len_ <= sizeof line_ && (cmd == CMD::MeasBatt || cmd == CMD::MeasRes)) ++readings_;
        len_ = 0;
    }
    QString path_;
    qint64 pos_ = 0;
    char line_[64];
    size_t len_ = 0;
    qint64 readings_ = 0;
};

// Rows in a CSV file that look like what the windows write; a torn or
// mangled line does not count as kept.
qint64 RowsKept(const QString& path, bool timeStamped) {
    static const QRegularExpression stamped(
        QStringLiteral(R"(^\d\d:\d\d:\d\d,[0-9.]+E[-+]\d,[-+][0-9.]+E[-+]\d\r\n$)"));
    static const QRegularExpression plain(QStringLiteral(R"(^[0-9.]+E[-+]\d,[-+][0-9.]+E[-+]\d\r\n$)"));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    qint64 rows = 0;
    char buf[256];
    qint64 n;
    while ((n = f.readLine(buf, sizeof buf)) > 0)
        if ((timeStamped ? stamped : plain).match(QString::fromLatin1(buf, n)).hasMatch()) ++rows;
    return rows;
}

// Answers the modal windows of a run as an operator would: the save dialog
// with the queued name, message boxes with their default button.
class Operator : public QObject {
public:
    Operator() {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start();
    }
    QString fileName;
    QStringList boxes;   // texts of every box seen
    std::function<void()> tick;   // also run on every poll

private:
    void Poll() {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (auto* dlg = qobject_cast<QFileDialog*>(modal)) {
                if (dlg == answered_) return;   // closing on its own
                answered_ = dlg;
                dlg->selectFile(fileName);
                QTimer::singleShot(0, dlg, [dlg] { static_cast<QDialog*>(dlg)->accept(); });
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                boxes << box->text();
                if (QAbstractButton* b = box->defaultButton())
                    b->click();
                else
                    box->done(0);
            }
            return;
        }
        if (tick) tick();
    }
    QTimer timer_;
    QPointer<QFileDialog> answered_;
};

struct Rate {
    qint64 n = 0;
    qint64 ns = 0;
    double PerSecond() const { return ns > 0 ? n * 1e9 / double(ns) : 0.0; }
    Rate& operator+=(const Rate& o) {
        n += o.n;
        ns += o.ns;
        return *this;
    }
};

Rate Bare(int count) {
    QStringList fields{QString(), QString(), QString()};
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        RS_LIB32::ProgramLink().CommSend(QString::fromLatin1(CMD::MeasBatt));
        RS_LIB32::ProgramLink().CommReceive(fields);
    }
    return {count, t.nsecsElapsed()};
}

// What the windows gave back: readings the simulator answered in the phase,
// rows found on disk, and how fast the readings came.
struct Phase {
    qint64 taken = 0;
    qint64 kept = 0;
    Rate rate;
    QString csv;
    bool timeStamped = false;
    long rssAfter = 0;
};

// Closing happens in a handler; the form goes when control is back in the
// main loop, as it is in the program between two clicks.
void BackToMainLoop() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

Phase TimeRun(Operator& op, LogTail& log, const QString& csv, qint64 target) {
    LOGGING::MnuMeasTime_Click();
    Frm_Time* w = LOGGING::TimeWindow();
    if (!w) Fail("the time-interval window did not open");
    w->Text_Time->setText("0");
    w->Text_Count->setText("0");   // until Stop
    w->OpnMethod[0]->setChecked(true);
    op.fileName = csv;
    const qint64 before = log.Update();
    QElapsedTimer clock;
    qint64 t0 = -1, n0 = 0, t1 = -1, n1 = 0;
    op.tick = [&] {
        const qint64 n = w->ReadingsLogged();
        if (t0 < 0 && n >= 1) {
            t0 = clock.nsecsElapsed();
            n0 = n;
        }
        if (t1 < 0 && n >= target) {
            t1 = clock.nsecsElapsed();
            n1 = n;
            w->Cmd[2]->click();
        }
    };
    clock.start();
    w->Cmd[1]->click();   // returns when the run has ended
    op.tick = nullptr;
    w->Cmd[0]->click();
    BackToMainLoop();
    Phase p;
    p.taken = log.Update() - before;
    p.csv = csv;
    p.timeStamped = true;
    p.rssAfter = RssKib();
    if (t0 >= 0 && t1 > t0) p.rate = {n1 - n0, t1 - t0};
    return p;
}

Phase KeyRun(LogTail& log, const QString& csv, int count) {
    LOGGING::MnuMeasSingle_Click();
    Frm_Single* w = LOGGING::SingleWindow();
    if (!w) Fail("the return-key window did not open");
    w->OpnMethod[0]->setChecked(true);
    w->Txt_File->setText(csv);
    w->Cmd_Ok->click();
    if (!w->Cmd_Trig->isVisible()) Fail("the return-key window did not get past OK");
    const qint64 before = log.Update();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        // The key goes where the operator's would: the focused button.
        QWidget* target = w->focusWidget() ? w->focusWidget() : w;
        QTest::keyClick(target, Qt::Key_Return);
    }
    const qint64 ns = t.nsecsElapsed();
    w->Cmd_End->click();
    BackToMainLoop();
    Phase p;
    p.taken = log.Update() - before;
    p.csv = csv;
    p.rssAfter = RssKib();
    p.rate = {p.taken, ns};
    return p;
}

Phase TriggerRun(Operator& op, LogTail& log, const QString& csv, int count) {
    // The loop waits for the clock's seconds to change after each trigger;
    // a clock that a pause moves on keeps that rule without a second's sleep.
    QTime now(9, 0, 0);
    ACQ::SetClock({[&now] { return now; }, [&now](int ms) { now = now.addMSecs(ms); }});
    LOGGING::MnuMeasIo_Click();
    Frm_ExtIo* w = LOGGING::ExtIoWindow();
    if (!w) Fail("the external-trigger window did not open");
    w->OpnMethod[0]->setChecked(true);
    w->Txt_File->setText(csv);
    const qint64 before = log.Update();
    QElapsedTimer t;
    qint64 ns = -1, n = 0;
    op.tick = [&] {
        if (ns >= 0) return;
        const qint64 taken = log.Update() - before;
        if (taken >= count) {
            ns = t.nsecsElapsed();
            n = taken;
            w->Cmd_End->click();   // ends at the next trigger
        }
    };
    t.start();
    w->Cmd_Ok->click();   // runs the trigger loop until Close and one more trigger
    op.tick = nullptr;
    BackToMainLoop();
    ACQ::SetClock({});
    Phase p;
    p.taken = log.Update() - before;
    p.csv = csv;
    p.rssAfter = RssKib();
    if (ns > 0) p.rate = {n, ns};
    return p;
}

int Measure(const QString& logPath) {
    QTemporaryDir out;
    Operator op;
    LogTail log(logPath);

    // Warm-up: every window, so that what is allocated for good (fonts,
    // dialogs, caches) is in before the first measure of memory. The time
    // window runs twice: its second save dialog still takes about 1.5 MiB for
    // good, later ones next to nothing.
    Bare(2000);
    TimeRun(op, log, out.filePath("warm_time.csv"), 5000);
    TimeRun(op, log, out.filePath("warm_time2.csv"), 500);
    KeyRun(log, out.filePath("warm_key.csv"), 20);
    TriggerRun(op, log, out.filePath("warm_trigger.csv"), 20);
    const long rss0 = RssKib();
    const int fds0 = OpenFds();

    Rate bare;
    bare += Bare(kBareExchanges);
    // SOAK_READINGS changes the length of the long run, to tell a leak that
    // grows with it from a one-off.
    const qint64 timeReadings = qEnvironmentVariableIsSet("SOAK_READINGS")
                                    ? qEnvironmentVariableIntValue("SOAK_READINGS")
                                    : kTimeReadings;
    Phase time = TimeRun(op, log, out.filePath("soak_time.csv"), timeReadings);
    bare += Bare(kBareExchanges);
    Phase key = KeyRun(log, out.filePath("soak_key.csv"), kKeyReadings);
    Phase trig = TriggerRun(op, log, out.filePath("soak_trigger.csv"), kTriggerReadings);
    const long rss1 = RssKib();
    const int fds1 = OpenFds();
    for (Phase* p : {&time, &key, &trig}) p->kept = RowsKept(p->csv, p->timeStamped);

    for (const QString& b : op.boxes)
        if (b != QLatin1String("Measurement ended."))
            std::fprintf(stderr, "bench_soak: unexpected message \"%s\"\n", qPrintable(b));
    if (time.rate.n <= 0 || key.taken < kKeyReadings || trig.rate.n <= 0) {
        std::fprintf(stderr, "bench_soak: a phase did not reach its readings (time %lld, key %lld, trigger %lld)\n",
                     time.taken, key.taken, trig.taken);
        return 1;
    }

    const qint64 taken = time.taken + key.taken + trig.taken;
    const qint64 kept = time.kept + key.kept + trig.kept;
    const double bareRate = bare.PerSecond();
    std::printf("soak_bare_exchanges_per_s: %.0f\n", bareRate);
    std::printf("soak_readings_per_s: %.0f\n", time.rate.PerSecond());
    std::printf("soak_readings_ratio: %.3f\n", time.rate.PerSecond() / bareRate);
    std::printf("soak_return_key_readings_per_s: %.0f\n", key.rate.PerSecond());
    std::printf("soak_return_key_ratio: %.3f\n", key.rate.PerSecond() / bareRate);
    std::printf("soak_trigger_readings_per_s: %.0f\n", trig.rate.PerSecond());
    std::printf("soak_trigger_ratio: %.3f\n", trig.rate.PerSecond() / bareRate);
    std::printf("soak_readings_taken: %lld\n", taken);
    std::printf("soak_rows_on_disk: %lld\n", kept);
    std::printf("soak_rows_lost: %lld\n", taken - kept);
    std::printf("soak_rows_lost_ratio: %.6f\n", taken > 0 ? double(taken - kept) / double(taken) : 1.0);
    std::printf("soak_rss_before_kib: %ld\n", rss0);
    std::printf("soak_rss_growth_kib: %ld\n", rss1 - rss0);
    std::printf("soak_rss_growth_ratio: %.4f\n", rss0 > 0 ? double(rss1 - rss0) / double(rss0) : 0.0);
    std::printf("soak_open_fds_before: %d\n", fds0);
    std::printf("soak_open_fds_growth: %d\n", fds1 - fds0);
    std::fflush(stdout);
    if (qEnvironmentVariableIsSet("SOAK_DETAIL"))
        std::fprintf(stderr, "time %lld/%lld key %lld/%lld trigger %lld/%lld; rss warm %ld time %ld key %ld trigger %ld\n",
                     time.kept, time.taken, key.kept, key.taken, trig.kept, trig.taken, rss0, time.rssAfter,
                     key.rssAfter, trig.rssAfter);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    UsePrivateSettings(home);
    QApplication app(argc, argv);
    FRAME::SetFatalBoxHook([] { Fail("the port failed"); });

    const QString logPath = home.filePath("sim.log");
    Sim sim = StartSim({"--exit-with-parent", "--log", logPath, "--trigger-interval", "1"});
    const int rc = MeasureInFrame(sim.device, [&] { return Measure(logPath); });
    StopSim(sim);
    return rc;
}
