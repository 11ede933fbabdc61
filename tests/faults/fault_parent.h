#pragma once
// The test's side of a child run (see fault_child.h): start it against a
// simulator, read what it says, watch its processor time, kill it, and read
// the files it leaves behind.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <unistd.h>

#include "sim_process.h"

namespace FAULT {

inline bool PollUntil(const std::function<bool()>& check, int timeoutMs = 15000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!check()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qSleep(2);
    }
    return true;
}

// After "silent on": the simulator may take the control line before or after
// the caller's last look at its log; either way the program ends up waiting
// on one unanswered query, and the log then rests on a whole line. Returns
// that log (empty when it never settled).
inline QByteArray WaitForUnansweredQuery(const SimProcess& sim, int restMs = 300) {
    QByteArray last = sim.received();
    QElapsedTimer steady;
    steady.start();
    const bool ok = PollUntil([&] {
        const QByteArray now = sim.received();
        if (now != last) {
            last = now;
            steady.restart();
        }
        return now.endsWith("\r\n") && steady.elapsed() >= restMs;
    });
    return ok ? last : QByteArray();
}

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Processor time (user + system) a process has used so far, in ms; -1 when gone.
inline qint64 CpuMs(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray s = f.readAll();
    const int close = s.lastIndexOf(')');   // the name may hold blanks
    if (close < 0) return -1;
    const QList<QByteArray> rest = s.mid(close + 2).split(' ');
    // Fields after the name start at 3 (state); utime is 14, stime 15.
    if (rest.size() < 13) return -1;
    const qint64 ticks = rest[11].toLongLong() + rest[12].toLongLong();
    return ticks * 1000 / sysconf(_SC_CLK_TCK);
}

// Share of one core a process used over a wall-clock window (0..1); -1 when it ended.
inline double CpuShare(qint64 pid, int windowMs) {
    const qint64 before = CpuMs(pid);
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(windowMs);
    const qint64 after = CpuMs(pid);
    if (before < 0 || after < 0) return -1;
    return double(after - before) / double(qMax<qint64>(1, wall.elapsed()));
}

// A killed program leaves the serial port's lock file behind. Another root
// process takes it over, but a child running as another user cannot remove
// a root-owned file in the sticky lock folder: remove it when its owner is dead.
inline void ClearStaleLock(const QString& device) {
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/"))) name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString lock = QStringLiteral("/run/lock/LCK..") + name;
    QFile f(lock);
    if (!f.open(QIODevice::ReadOnly)) return;
    const qint64 pid = f.readLine().trimmed().toLongLong();
    f.close();
    if (pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH) QFile::remove(lock);
}

inline int Count(const QByteArray& hay, const QByteArray& needle) { return int(hay.count(needle)); }

// Queries of this kind in the received bytes that can have been answered:
// all but a final one that the silent instrument left hanging.
inline int Answered(const QByteArray& received, const QByteArray& query) {
    QByteArray last = received;
    last.chop(2);
    last = last.mid(last.lastIndexOf('\n') + 1) + "\r\n";
    return Count(received, query) - (last.contains(query) ? 1 : 0);
}

// The file cut into lines; false when anything but whole CR LF lines is there.
inline bool WholeLines(const QByteArray& bytes, QList<QByteArray>* out) {
    if (!bytes.isEmpty() && !bytes.endsWith("\r\n")) return false;
    QList<QByteArray> ls = bytes.split('\n');
    ls.removeLast();   // after the final LF
    for (QByteArray& l : ls) {
        if (!l.endsWith('\r') || l.count('\r') != 1) return false;
        l.chop(1);
    }
    *out = ls;
    return true;
}

class Child {
public:
    Child() { proc_.setProcessChannelMode(QProcess::SeparateChannels); }
    ~Child() {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.kill();
            proc_.waitForFinished(5000);
        }
    }

    // run: what the child does (fault_child.h); csv: its output file.
    // Extra environment for the child, e.g. ORVEN_FAULT_NOBODY.
    void setEnv(const QString& key, const QString& value) { extra_.insert(key, value); }
    // Another program than this test binary (a copy of it elsewhere).
    void setProgram(const QString& program) { program_ = program; }
    void setWorkingDirectory(const QString& dir) { proc_.setWorkingDirectory(dir); }
    void terminate() {
        proc_.terminate();
        waitFinished(10000);
    }

    void start(const QString& run, const SimProcess& sim, const QString& csv = QString(), int holdMs = 0) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(extra_);
        env.insert(QStringLiteral("ORVEN_FAULT_RUN"), run);
        env.insert(QStringLiteral("ORVEN_FAULT_CSV"), csv);
        env.insert(QStringLiteral("ORVEN_FAULT_DIR"), dir_.path());
        env.insert(QStringLiteral("ORVEN_FAULT_HOLD_MS"), QString::number(holdMs));
        env.insert(QStringLiteral("ORVEN5927_COM1"), sim.devicePath());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        proc_.setProcessEnvironment(env);
        proc_.start(program_.isEmpty() ? QCoreApplication::applicationFilePath() : program_, {});
        proc_.waitForStarted(10000);
    }
    qint64 pid() const { return proc_.processId(); }
    // The child's XDG_CONFIG_HOME (and where it looks for the close request).
    QString configDir() const { return dir_.path(); }
    QString settingsFile() const { return dir_.path() + QStringLiteral("/ORVEN/ORVEN 5927 RS.conf"); }

    QStringList lines() {
        out_ += proc_.readAllStandardOutput();
        return QString::fromUtf8(out_).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList boxes() {
        QStringList b;
        for (const QString& l : lines())
            if (l.startsWith(QLatin1String("BOX|"))) b << l.mid(4);
        return b;
    }
    bool waitLine(const QString& prefix, int timeoutMs = 20000) {
        return PollUntil(
            [&] {
                for (const QString& l : lines())
                    if (l.startsWith(prefix)) return true;
                return proc_.state() == QProcess::NotRunning && !hasLine(prefix);
            },
            timeoutMs) &&
               hasLine(prefix);
    }
    bool hasLine(const QString& prefix) {
        for (const QString& l : lines())
            if (l.startsWith(prefix)) return true;
        return false;
    }
    void askToClose() {
        QFile f(dir_.path() + QStringLiteral("/close"));
        f.open(QIODevice::WriteOnly);
    }
    bool waitFinished(int timeoutMs = 20000) {
        const bool ok = PollUntil([&] { return proc_.state() == QProcess::NotRunning; }, timeoutMs);
        lines();
        return ok;
    }
    void killHard() {
        ::kill(pid_t(proc_.processId()), SIGKILL);
        waitFinished(10000);
    }
    bool running() const { return proc_.state() != QProcess::NotRunning; }
    int exitCode() const { return proc_.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return proc_.exitStatus(); }
    QString output() {
        lines();
        return QString::fromUtf8(out_) + QStringLiteral("\n--stderr--\n") +
               QString::fromLocal8Bit(proc_.readAllStandardError().right(2000));
    }

private:
    QProcess proc_;
    QTemporaryDir dir_;
    QByteArray out_;
    QProcessEnvironment extra_;
    QString program_;
};

inline const QByteArray kMeasBatt = ":MEAS:BATT?\r\n";
inline const QByteArray kWaitTrigger = "*WAI";
inline const QString kFatalBox = QStringLiteral("3|Comm Program|Input Error!  Good bye!");

// Both kinds of answer the simulator gives by default: resistance, voltage.
inline const QRegularExpression kTimedRow(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d,012\\.34E-3,\\+12\\.345E\\+0$"));
inline const QRegularExpression kLoadedRow(QStringLiteral("^012\\.34E-3,\\+12\\.345E\\+0$"));

}  // namespace FAULT

namespace FAULT {

// Kills the child with SIGKILL at seeded random moments of a logging run and
// checks the file after each kill: whole lines only, earlier content intact,
// and at least every row whose next query had already gone out (the program
// writes a row before it asks for the next reading, so a later query proves
// the row was reported written).
inline void CrashRounds(const QString& run, int rounds, quint32 seed) {
    QRandomGenerator rng(seed);
    QTemporaryDir dir;
    const bool appends = run != QLatin1String("time");
    const QString shared = dir.filePath(QStringLiteral("appended log.csv"));
    if (appends) {
        QFile f(shared);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("written,before,the first run\r\n");
    }
    const QRegularExpression& shape = appends ? kLoadedRow : kTimedRow;
    const QByteArray marker = run == QLatin1String("extio") ? kWaitTrigger : kMeasBatt;
    int killedMidRun = 0;
    for (int round = 0; round < rounds; ++round) {
        const int delayMs = int(rng.bounded(400u));
        const QString ctx = QStringLiteral("%1 round %2 seed %3 delay %4").arg(run).arg(round).arg(seed).arg(delayMs);
        SimProcess sim(run == QLatin1String("extio") ? QStringList{"--trigger-interval", "3"} : QStringList{});
        QVERIFY2(sim.started(), qPrintable(ctx));
        const QString file = appends ? shared : dir.filePath(QStringLiteral("run %1.csv").arg(round));
        const QByteArray before = ReadAll(file);

        Child child;
        child.start(run, sim, file);
        QVERIFY2(child.waitLine(QStringLiteral("START")), qPrintable(ctx + child.output()));
        QTest::qWait(delayMs);
        QVERIFY2(child.running(), qPrintable(ctx + child.output()));
        child.killHard();
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        ClearStaleLock(sim.devicePath());
        // Let the simulator log whatever was already on the line.
        QTest::qWait(50);
        const int asked = Count(sim.received(), marker);

        const QByteArray bytes = ReadAll(file);
        QVERIFY2(bytes.startsWith(before), qPrintable(ctx));
        QList<QByteArray> rows;
        QVERIFY2(WholeLines(bytes.mid(before.size()), &rows), qPrintable(ctx + bytes.right(100)));
        if (!appends && !rows.isEmpty()) QCOMPARE(rows.takeFirst(), QByteArray("Time,Resistance,Voltage"));
        for (const QByteArray& r : rows)
            QVERIFY2(shape.match(QString::fromLatin1(r)).hasMatch(), qPrintable(ctx + r));
        QVERIFY2(rows.size() >= asked - 1 && rows.size() <= asked,
                 qPrintable(ctx + QStringLiteral(": %1 rows, %2 queries").arg(rows.size()).arg(asked)));
        if (rows.size() >= 2) ++killedMidRun;
    }
    // Most kills must hit a run that is writing, or the test proves little.
    QVERIFY2(killedMidRun >= rounds / 2, qPrintable(QString::number(killedMidRun)));
}

}  // namespace FAULT
