// The simulator seen from a plain termios client: exact answers, hold and
// trigger behaviour, the control channel, the byte log and unplugging.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include "sim_process.h"
#include "test_env.h"

namespace {

// Waits long enough for an answer that will come; a loaded machine is slow.
constexpr int kAnswerMs = 5000;
// How long we listen to make sure an answer does NOT come.
constexpr int kQuietMs = 300;

// A raw client on the simulator's device, independent of the program's link code.
class Port {
public:
    explicit Port(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0)
            return;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Port() { close(); }
    void close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    bool isOpen() const { return fd_ >= 0; }

    // All of bytes, waiting for room when the terminal's buffer is full.
    bool write(const QByteArray& bytes, int timeoutMs = kAnswerMs) {
        QDeadlineTimer deadline(timeoutMs);
        qsizetype done = 0;
        while (fd_ >= 0 && done < bytes.size()) {
            ssize_t n = ::write(fd_, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, int(deadline.remainingTime())) <= 0 && deadline.hasExpired())
                return false;
        }
        return fd_ >= 0;
    }
    // One line including its LF, or empty when none completes in time.
    QByteArray readLine(int timeoutMs = kAnswerMs) {
        fillUntil([&] { return buf_.contains('\n'); }, timeoutMs);
        int lf = buf_.indexOf('\n');
        if (lf < 0)
            return {};
        QByteArray line = buf_.left(lf + 1);
        buf_.remove(0, lf + 1);
        return line;
    }
    // Exactly n bytes, or fewer when they do not arrive in time.
    QByteArray readBytes(int n, int timeoutMs = kAnswerMs) {
        fillUntil([&] { return buf_.size() >= n; }, timeoutMs);
        QByteArray out = buf_.left(n);
        buf_.remove(0, out.size());
        return out;
    }
    // Everything that arrives within ms.
    QByteArray listen(int ms) {
        fillUntil([] { return false; }, ms);
        QByteArray out = buf_;
        buf_.clear();
        return out;
    }
    // True once the far side is gone: a read reports end of file or an error.
    bool waitHangUp(int timeoutMs = kAnswerMs) {
        fillUntil([&] { return gone_; }, timeoutMs);
        return gone_;
    }

private:
    template <typename Done>
    void fillUntil(Done done, int timeoutMs) {
        QDeadlineTimer deadline(timeoutMs);
        while (fd_ >= 0 && !done() && !gone_) {
            pollfd p{fd_, POLLIN, 0};
            int r = ::poll(&p, 1, int(deadline.remainingTime()));
            if (r <= 0) {
                if (deadline.hasExpired())
                    return;
                continue;
            }
            char chunk[4096];
            ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n > 0)
                buf_.append(chunk, n);
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                gone_ = true;
        }
    }
    int fd_ = -1;
    QByteArray buf_;
    bool gone_ = false;
};

// Runs the simulator's executable to completion (for command-line checks).
struct Run {
    int exitCode = -1;
    QByteArray out, err;
};
Run runSim(const QStringList& args) {
    QProcess p;
    p.start(SimProcess::simulatorPath(), args);
    Run r;
    if (!p.waitForFinished(kAnswerMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

const QByteArray kSetupQuery = ":HEAD OFF;:HOLD OFF;:MOD?;:SAMP?;:COMP?\r\n";
const QByteArray kTriggerLine = ":HOLD ON;*TRG;*WAI;:SAMP?\r\n";

QList<QByteArray> fields(QByteArray line) {
    return line.trimmed().replace(';', ',').split(',');
}

// Waits until everything sent on the control FIFO before has been handled:
// control lines run in order, so the echo of a marker byte proves it.
bool controlBarrier(SimProcess& sim, Port& port) {
    return sim.control("send 7E0A") && port.readLine() == "~\n";
}

}  // namespace

class TestSim : public QObject {
    Q_OBJECT

private slots:
    void setupAnswers_data();
    void setupAnswers();
    void readingAnswers_data();
    void readingAnswers();
    void everyModeAndComparator();
    void lineHandling();
    void specialAndRandomReadings();
    void badRangesAreRefused();
    void hold();
    void deferredAnswer_data();
    void deferredAnswer();
    void triggersAreNotQueued();
    void linesBehindAWaitRunAfterIt();
    void silent();
    void rawOutput();
    void settingsChangeAtRunTime();
    void delayAndPace();
    void byteLog();
    void reopenKeepsTheDevice();
    void unplugMakesTheDeviceVanish();
    void linkAndCleanUp();
    void commandLine();
    void exitWithParent();
};

void TestSim::setupAnswers_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("defaults") << QStringList{} << kSetupQuery << QByteArray("RV;FAST;0\r\n");
    QTest::newRow("resistance only, comparator on")
        << QStringList{"--mode", "R", "--speed", "MIDIUM", "--comp", "1"} << kSetupQuery
        << QByteArray("R;MIDIUM;1\r\n");
    QTest::newRow("texts kept as given")
        << QStringList{"--mode", "R ", "--speed", "SLOW", "--comp", "1.5"} << kSetupQuery
        << QByteArray("R ;SLOW;1.5\r\n");
    QTest::newRow("held setup query")
        << QStringList{"--comp", "2"} << QByteArray(":HEAD OFF;:MOD?;:SAMP?;:COMP?\r\n")
        << QByteArray("RV;FAST;2\r\n");
    QTest::newRow("LF line end, no CR sent") << QStringList{"--eol", "lf"} << QByteArray(":MOD?\n")
                                             << QByteArray("RV\n");
}

void TestSim::setupAnswers() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, answer);
    SimProcess sim(args);
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    QVERIFY(port.write(query));
    QCOMPARE(port.readLine(), answer);
    QCOMPARE(port.listen(kQuietMs), QByteArray());   // one line, nothing after it
}

void TestSim::readingAnswers_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("answer");
    const QStringList on{"--comp", "1", "--comp-result", "HI"};
    QTest::newRow("res, own comparator result") << on << QByteArray(":MEAS:RES?") << QByteArray("012.34E-3,HI");
    QTest::newRow("batt, own comparator result")
        << on << QByteArray(":MEAS:BATT?") << QByteArray("012.34E-3,+12.345E+0,HI");
    QTest::newRow("comparator 0.0 is off")
        << QStringList{"--comp", "0.0"} << QByteArray(":MEAS:RES?") << QByteArray("012.34E-3");
    QTest::newRow("comparator 0.5 is on")
        << QStringList{"--comp", "0.5"} << QByteArray(":MEAS:RES?") << QByteArray("012.34E-3,IN");
    QTest::newRow("comparator 2ON is on")
        << QStringList{"--comp", "2ON"} << QByteArray(":MEAS:RES?") << QByteArray("012.34E-3,IN");
    QTest::newRow("comparator without a number is off")
        << QStringList{"--comp", "ON"} << QByteArray(":MEAS:RES?") << QByteArray("012.34E-3");
    QTest::newRow("own separator")
        << QStringList{"--sep", ";", "--comp", "1"} << QByteArray(":MEAS:BATT?")
        << QByteArray("012.34E-3;+12.345E+0;IN");
    QTest::newRow("fixed texts")
        << QStringList{"--res", "1.2345E+0", "--volt", "-01.500E+0"} << QByteArray(":MEAS:BATT?")
        << QByteArray("1.2345E+0,-01.500E+0");
    QTest::newRow("three queries in one line")
        << on << QByteArray(":MEAS:RES?;:MEAS:BATT?;:MEAS:VOLT?")
        << QByteArray("012.34E-3,HI;012.34E-3,+12.345E+0,HI;+12.345E+0");
}

void TestSim::readingAnswers() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, answer);
    SimProcess sim(args);
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    QVERIFY(port.write(query + "\r\n"));
    QCOMPARE(port.readLine(), answer + "\r\n");

    // Readings that carry more fields than any reader expects, on demand.
    QVERIFY(sim.control("extra-fields on"));
    QVERIFY(controlBarrier(sim, port));
    QVERIFY(port.write(query + "\r\n"));
    QByteArray wide = port.readLine();
    const int readings = int(query.count(":MEAS:"));
    QVERIFY2(fields(wide).size() >= 4 * readings, wide);
    QVERIFY2(fields(wide).size() > fields(answer).size(), wide);
    if (readings == 1) {
        const QByteArray sep = args.contains("--sep") ? ";" : ",";
        QVERIFY2(wide.startsWith(answer + sep), wide);
    }
    QVERIFY(sim.control("extra-fields off"));
    QVERIFY(controlBarrier(sim, port));
    QVERIFY(port.write(query + "\r\n"));
    QCOMPARE(port.readLine(), answer + "\r\n");
}

void TestSim::everyModeAndComparator() {
    SimProcess sim({"--res", "001.00E-3", "--volt", "+02.000E+0"});
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    for (const char* mode : {"R", "RV"}) {
        for (const char* comp : {"0", "1"}) {
            QVERIFY(sim.control(QString("set mode ") + mode));
            QVERIFY(sim.control(QString("set comp ") + comp));
            QVERIFY(controlBarrier(sim, port));
            const QByteArray c = QByteArray(comp) == "1" ? ",IN" : "";
            QVERIFY(port.write(kSetupQuery));
            QCOMPARE(port.readLine(), QByteArray(mode) + ";FAST;" + comp + "\r\n");
            QVERIFY(port.write(":MEAS:RES?\r\n"));
            QCOMPARE(port.readLine(), "001.00E-3" + c + "\r\n");
            QVERIFY(port.write(":MEAS:BATT?\r\n"));
            QCOMPARE(port.readLine(), "001.00E-3,+02.000E+0" + c + "\r\n");
            QVERIFY(port.write(":MEAS:VOLT?\r\n"));
            QCOMPARE(port.readLine(), QByteArray("+02.000E+0\r\n"));
        }
    }
}

void TestSim::lineHandling() {
    SimProcess sim;
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    // Lines without a query, an empty line, unknown and wrongly cased commands
    // get no answer; the next answered line shows nothing came before it.
    QVERIFY(port.write(":HOLD OFF;:HEAD OFF\r\n"));
    QVERIFY(port.write("\r\n"));
    QVERIFY(port.write(":mod?\r\n:MOD ?\r\n*IDN?\r\n"));
    QVERIFY(port.write(":MOD?;:BOGUS?;:SAMP?\r\n"));
    QCOMPARE(port.readLine(), QByteArray("RV;FAST\r\n"));
    // CR anywhere is ignored; a line may arrive in pieces.
    QVERIFY(port.write(":MO"));
    QCOMPARE(port.listen(100), QByteArray());
    QVERIFY(port.write("D\r?;:SAMP?\n"));
    QCOMPARE(port.readLine(), QByteArray("RV;FAST\r\n"));
    // An endless line is dropped whole and does not stop the simulator.
    QVERIFY(port.write(":MOD?;" + QByteArray(20000, 'A') + "\r\n:SAMP?\r\n"));
    QCOMPARE(port.readLine(), QByteArray("FAST\r\n"));
    QCOMPARE(port.listen(kQuietMs), QByteArray());
}

void TestSim::specialAndRandomReadings() {
    {
        SimProcess sim({"--res", "of", "--volt", "dash"});
        QVERIFY(sim.started());
        Port port(sim.devicePath());
        QVERIFY(port.write(":MEAS:BATT?\r\n"));
        QCOMPARE(port.readLine(), QByteArray("1.0000E+8,+1.0000E+9\r\n"));
        QVERIFY(sim.control("set res dash"));
        QVERIFY(sim.control("set volt of"));
        QVERIFY(controlBarrier(sim, port));
        QVERIFY(port.write(":MEAS:BATT?\r\n"));
        QCOMPARE(port.readLine(), QByteArray("1.0000E+9,+1.0000E+8\r\n"));
    }
    SimProcess sim({"--res", "random:5:950.5", "--volt", "random:-20:15", "--seed", "11"});
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    const QRegularExpression resShape("^\\d{3}\\.\\d{2}E-3$");
    const QRegularExpression voltShape("^[+-]\\d{2}\\.\\d{3}E\\+0$");
    QSet<QByteArray> seen;
    bool negative = false, positive = false;
    for (int i = 0; i < 40; ++i) {
        QVERIFY(port.write(":MEAS:BATT?\r\n"));
        QList<QByteArray> f = fields(port.readLine());
        QCOMPARE(f.size(), 2);
        QVERIFY2(resShape.match(QString::fromLatin1(f[0])).hasMatch(), f[0]);
        QVERIFY2(voltShape.match(QString::fromLatin1(f[1])).hasMatch(), f[1]);
        double r = f[0].left(6).toDouble(), v = f[1].left(7).toDouble();
        QVERIFY2(r >= 5 && r <= 950.5, f[0]);
        QVERIFY2(v >= -20 && v <= 15, f[1]);
        QVERIFY2(f[1] != "-00.000E+0", "zero printed with a minus sign");
        negative |= v < 0;
        positive |= v > 0;
        seen.insert(f[0]);
    }
    QVERIFY(negative && positive);
    QVERIFY2(seen.size() > 30, "random readings hardly change");
}

void TestSim::badRangesAreRefused() {
    // A range the fixed-width formats cannot print would send malformed
    // readings; it is refused instead, on the command line and at run time.
    for (const QStringList& args : {QStringList{"--res", "random:5:1"}, QStringList{"--res", "random:0:1000"},
                                    QStringList{"--res", "random:-1:3"}, QStringList{"--volt", "random:-100:1"},
                                    QStringList{"--volt", "random:x:1"}, QStringList{"--res", "random:1"}}) {
        Run r = runSim(args);
        QVERIFY2(r.exitCode == 2, qPrintable(args.join(' ')));
        QVERIFY2(r.err.contains(args[0].toLatin1()), r.err);
        QVERIFY2(!r.out.startsWith("PTY"), r.out);
    }
    SimProcess sim;
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    QVERIFY(sim.control("set res random:9:2000"));
    QVERIFY(sim.control("set volt random:"));
    QVERIFY(controlBarrier(sim, port));
    QVERIFY(port.write(":MEAS:BATT?\r\n"));
    QCOMPARE(port.readLine(), QByteArray("012.34E-3,+12.345E+0\r\n"));
}

void TestSim::hold() {
    SimProcess sim({"--res", "random:1:999", "--volt", "random:1:99", "--seed", "3"});
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    auto batt = [&] {
        port.write(":MEAS:BATT?\r\n");
        return port.readLine();
    };
    QVERIFY(port.write(":HOLD ON\r\n"));
    const QByteArray held = batt();
    QVERIFY(!held.isEmpty());
    QCOMPARE(batt(), held);
    QVERIFY(port.write(":MEAS:RES?;:MEAS:VOLT?\r\n"));
    QList<QByteArray> f = fields(held);
    QCOMPARE(port.readLine(), f[0] + ";" + f[1] + "\r\n");

    // A trigger while held takes the new reading that is then repeated.
    QVERIFY(sim.control("trigger"));
    QVERIFY(controlBarrier(sim, port));
    const QByteArray next = batt();
    QVERIFY(next != held);
    QCOMPARE(batt(), next);
    // Holding again does not take a new reading.
    QVERIFY(port.write(":HOLD ON\r\n"));
    QCOMPARE(batt(), next);

    QVERIFY(port.write(":HOLD OFF\r\n"));
    QSet<QByteArray> free;
    for (int i = 0; i < 5; ++i)
        free.insert(batt());
    QVERIFY(free.size() > 1);
}

void TestSim::deferredAnswer_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("signal") << "signal";
    QTest::newRow("control") << "control";
    QTest::newRow("timer") << "timer";
}

void TestSim::deferredAnswer() {
    QFETCH(QString, how);
    QStringList args{"--res", "random:1:999", "--speed", "SLOW"};
    if (how == "timer")
        args << "--trigger-interval" << "800";
    SimProcess sim(args);
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    QVERIFY(port.write(":MEAS:RES?\r\n"));
    const QByteArray before = port.readLine();

    for (int round = 0; round < 2; ++round) {
        QVERIFY(port.write(kTriggerLine));
        QVERIFY(sim.waitReceived(kTriggerLine.repeated(round + 1)));
        // The timer cannot fire before its interval: listening a while less is safe.
        QCOMPARE(port.listen(how == "timer" ? 200 : kQuietMs), QByteArray());
        if (how == "signal")
            sim.trigger();
        else if (how == "control")
            QVERIFY(sim.control("trigger"));
        QCOMPARE(port.readLine(), QByteArray("SLOW\r\n"));
    }
    // The triggered reading is held until released.
    QVERIFY(port.write(":MEAS:RES?\r\n"));
    const QByteArray held = port.readLine();
    QVERIFY(held != before);
    QVERIFY(port.write(":HEAD OFF;:MOD?;:SAMP?;:COMP?\r\n"));
    QCOMPARE(port.readLine(), QByteArray("RV;SLOW;0\r\n"));
    QVERIFY(port.write(":MEAS:RES?\r\n"));
    QCOMPARE(port.readLine(), held);
}

void TestSim::triggersAreNotQueued() {
    SimProcess sim({"--trigger-interval", "0"});
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    sim.trigger();
    QVERIFY(sim.control("trigger"));
    QVERIFY(controlBarrier(sim, port));   // the signal went out before these
    QVERIFY(port.write(kTriggerLine));
    QVERIFY(sim.waitReceived(kTriggerLine));
    QCOMPARE(port.listen(kQuietMs), QByteArray());
    QVERIFY(sim.control("trigger"));
    QCOMPARE(port.readLine(), QByteArray("FAST\r\n"));
    // One trigger releases one wait only.
    QVERIFY(port.write(kTriggerLine));
    QVERIFY(sim.waitReceived(kTriggerLine + kTriggerLine));
    QCOMPARE(port.listen(kQuietMs), QByteArray());
}

void TestSim::linesBehindAWaitRunAfterIt() {
    SimProcess sim;
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    // Queries before *WAI are answered in the same deferred line.
    QVERIFY(port.write(":MOD?;*WAI;:COMP?\r\n"));
    QVERIFY(port.write(":SAMP?\r\n"));
    QVERIFY(sim.waitReceived(":SAMP?\r\n"));
    QCOMPARE(port.listen(kQuietMs), QByteArray());
    sim.trigger();
    QCOMPARE(port.readLine(), QByteArray("RV;0\r\n"));
    QCOMPARE(port.readLine(), QByteArray("FAST\r\n"));
}

void TestSim::silent() {
    SimProcess sim({"--silent", "--res", "random:1:999"});
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    QVERIFY(port.write(":MOD?\r\n"));
    QVERIFY(sim.waitReceived(":MOD?\r\n"));
    QCOMPARE(port.listen(kQuietMs), QByteArray());
    // Lines heard while silent are not executed either: no hold began.
    QVERIFY(port.write(":HOLD ON\r\n"));
    QVERIFY(sim.waitReceived(":HOLD ON\r\n"));
    QVERIFY(sim.control("silent off"));
    QVERIFY(controlBarrier(sim, port));
    QVERIFY(port.write(":MEAS:RES?;:MEAS:RES?;:MEAS:RES?\r\n"));
    QList<QByteArray> f = fields(port.readLine());
    QCOMPARE(f.size(), 3);
    QVERIFY(f[0] != f[1] || f[1] != f[2]);
    // Control output still goes out while silent.
    QVERIFY(sim.control("silent on"));
    QVERIFY(controlBarrier(sim, port));
    QVERIFY(port.write(":SAMP?\r\n"));
    QVERIFY(sim.waitReceived(":SAMP?\r\n"));
    QCOMPARE(port.listen(kQuietMs), QByteArray());
    QCOMPARE(sim.received(), QByteArray(":MOD?\r\n:HOLD ON\r\n:MEAS:RES?;:MEAS:RES?;:MEAS:RES?\r\n:SAMP?\r\n"));
}

void TestSim::rawOutput() {
    SimProcess sim({"--seed", "99"});
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    QVERIFY(sim.control("send 31323B464153542C300D0A"));
    QCOMPARE(port.readLine(), QByteArray("12;FAST,0\r\n"));
    QVERIFY(sim.control("send 00ff0A"));
    QCOMPARE(port.readLine(), QByteArray("\x00\xff\n", 3));

    // Malformed control lines are refused without effect and without harm.
    for (const char* bad : {"send 123", "send zz", "garbage", "garbage -3", "garbage 99999999", "overlong x", "silent maybe",
                            "set delay soon", "set colour red", "dance"})
        QVERIFY(sim.control(bad));
    QVERIFY(controlBarrier(sim, port));
    QCOMPARE(port.listen(100), QByteArray());

    QVERIFY(sim.control("garbage 300"));
    QByteArray garbage = port.readBytes(300);
    QCOMPARE(garbage.size(), 300);
    QVERIFY(!garbage.contains('\n'));
    bool control = false, high = false;
    for (char c : garbage) {
        control |= uchar(c) < 32;
        high |= uchar(c) >= 128;
    }
    QVERIFY(control && high);

    QVERIFY(sim.control("overlong 5000"));
    QByteArray overlong = port.readBytes(5000);
    QCOMPARE(overlong.size(), 5000);
    for (char c : overlong)
        QVERIFY2(std::isalnum(uchar(c)), QByteArray(1, c));
    QCOMPARE(port.listen(kQuietMs), QByteArray());   // no line end after it
    QVERIFY(sim.received().isEmpty());   // what we are sent is not what we received
}

void TestSim::settingsChangeAtRunTime() {
    SimProcess sim;
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    for (const char* c : {"set mode R", "set speed MIDIUM", "set comp 1", "set comp-result LO", "set res 099.99E-3",
                          "set volt -01.000E+0"})
        QVERIFY(sim.control(c));
    QVERIFY(controlBarrier(sim, port));
    QVERIFY(port.write(kSetupQuery));
    QCOMPARE(port.readLine(), QByteArray("R;MIDIUM;1\r\n"));
    QVERIFY(port.write(":MEAS:BATT?\r\n"));
    QCOMPARE(port.readLine(), QByteArray("099.99E-3,-01.000E+0,LO\r\n"));
    QVERIFY(sim.control("set comp 0"));
    QVERIFY(sim.control("set mode with blanks"));
    QVERIFY(controlBarrier(sim, port));
    QVERIFY(port.write(":MOD?;:MEAS:RES?\r\n"));
    QCOMPARE(port.readLine(), QByteArray("with blanks;099.99E-3\r\n"));
}

void TestSim::delayAndPace() {
    {
        SimProcess sim({"--delay", "700"});
        QVERIFY(sim.started());
        Port port(sim.devicePath());
        QVERIFY(port.write(":MOD?\r\n"));
        QVERIFY(sim.waitReceived(":MOD?\r\n"));
        QCOMPARE(port.listen(200), QByteArray());   // cannot come before its delay
        QCOMPARE(port.readLine(), QByteArray("RV\r\n"));
        // Shortening the delay never lets a later answer overtake an earlier one.
        QVERIFY(port.write(":MOD?\r\n"));
        QVERIFY(sim.waitReceived(":MOD?\r\n:MOD?\r\n"));
        QVERIFY(sim.control("set delay 0"));
        QVERIFY(sim.control("send 410A"));
        QCOMPARE(port.readLine(), QByteArray("RV\r\n"));
        QCOMPARE(port.readLine(), QByteArray("A\n"));
    }
    // 200 bytes at 9600 baud take about 208 ms; paced bytes cannot come sooner.
    SimProcess sim({"--pace"});
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    const QByteArray payload = QByteArray(199, 'x') + '\n';
    QVERIFY(sim.control("send " + QString::fromLatin1(payload.toHex())));
    QElapsedTimer clock;
    QCOMPARE(port.readBytes(1), QByteArray("x"));
    clock.start();
    QCOMPARE(port.readLine(), payload.mid(1));
    QVERIFY2(clock.elapsed() >= 150, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(port.write(":SAMP?\r\n"));
    QCOMPARE(port.readLine(), QByteArray("FAST\r\n"));
}

void TestSim::byteLog() {
    SimProcess sim;
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    QByteArray all;
    for (QByteArray piece : {QByteArray(":MO"), QByteArray("D?\r\n"), QByteArray("\x00\x09\xff\x80;,\r\r\n", 9),
                             QByteArray(":SAMP?\r\n")}) {
        QVERIFY(port.write(piece));
        all += piece;
        QVERIFY(sim.waitReceived(all));
    }
    QCOMPARE(sim.received(), all);
    QCOMPARE(port.readLine(), QByteArray("RV\r\n"));
    QCOMPARE(port.readLine(), QByteArray("FAST\r\n"));
    // Waiting for bytes that never come ends with false at the deadline.
    QVERIFY(!sim.waitReceived("never sent", 50));
}

void TestSim::reopenKeepsTheDevice() {
    SimProcess sim;
    QVERIFY(sim.started());
    for (int i = 0; i < 3; ++i) {
        Port port(sim.devicePath());
        QVERIFY(port.isOpen());
        QVERIFY(port.write(":MOD?\r\n"));
        QCOMPARE(port.readLine(), QByteArray("RV\r\n"));
    }
    QVERIFY(sim.started());
    QCOMPARE(sim.received(), QByteArray(":MOD?\r\n").repeated(3));
}

void TestSim::unplugMakesTheDeviceVanish() {
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyORVEN");
    SimProcess sim({"--link", link});
    QVERIFY(sim.started());
    QCOMPARE(sim.devicePath(), link);
    const QString pts = QFileInfo(link).symLinkTarget();
    QVERIFY(pts.startsWith("/dev/pts/"));
    Port port(link);
    QVERIFY(port.write(":MOD?\r\n"));
    QCOMPARE(port.readLine(), QByteArray("RV\r\n"));

    QVERIFY(sim.control("unplug"));
    QVERIFY(port.waitHangUp());
    QVERIFY(!QFileInfo::exists(pts));
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!port.write(":MOD?\r\n"));
    QVERIFY(sim.waitFinished());
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 0);
    QVERIFY(!QFileInfo::exists(sim.controlPath()));
    QVERIFY(!sim.control("trigger"));   // nobody reads the control channel any more
}

void TestSim::linkAndCleanUp() {
    QTemporaryDir dir;
    const QString link = dir.filePath("dev");
    // A stale link from an earlier run is replaced.
    QVERIFY(QFile::link("/dev/null", link));
    {
        SimProcess sim({"--link", link});
        QVERIFY(sim.started());
        QVERIFY(QFileInfo(link).symLinkTarget().startsWith("/dev/pts/"));
        const QString pts = QFileInfo(link).symLinkTarget();
        QVERIFY(sim.signal(SIGTERM));
        QVERIFY(sim.waitFinished());
        QCOMPARE(sim.process().exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(!QFileInfo::exists(sim.controlPath()));
        QVERIFY(!QFileInfo::exists(pts));
    }
    {
        SimProcess sim({"--link=" + link});
        QVERIFY(sim.started());
        QCOMPARE(sim.devicePath(), link);
        QVERIFY(sim.control("quit"));
        QVERIFY(sim.waitFinished());
        QCOMPARE(sim.process().exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
    // Anything but a symbolic link at that path is somebody's file: refused, kept.
    {
        QFile f(link);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    Run r = runSim({"--link", link});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("not replacing"));
    QFile f(link);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
    Run c = runSim({"--control", link});
    QCOMPARE(c.exitCode, 1);
    QVERIFY(QFileInfo(link).isFile());
}

void TestSim::commandLine() {
    Run help = runSim({"--help"});
    QCOMPARE(help.exitCode, 0);
    for (const char* word : {"--link", "--log", "--control", "--mode", "--speed", "--comp", "--comp-result", "--res",
                             "--volt", "--sep", "--eol", "--delay", "--pace", "--trigger-interval", "--silent",
                             "--seed", "SIGUSR1", "SIGTERM", "silent on|off", "garbage N", "overlong N",
                             "extra-fields on|off", "unplug", "trigger", "set res", "set comp-result", "set delay",
                             "send HEX", "quit"})
        QVERIFY2(help.out.contains(word), word);
    for (const QStringList& args : {QStringList{"--bogus"}, QStringList{"--mode"}, QStringList{"--eol", "cr"},
                                    QStringList{"--delay", "-5"}, QStringList{"--sep", ",,"},
                                    QStringList{"--pace=yes"}}) {
        Run r = runSim(args);
        QVERIFY2(r.exitCode == 2, qPrintable(args.join(' ')));
        QVERIFY(!r.err.isEmpty());
    }
    // Both option spellings work.
    SimProcess sim({"--mode=R", "--eol=lf"});
    QVERIFY(sim.started());
    Port port(sim.devicePath());
    QVERIFY(port.write(":MOD?\r\n"));
    QCOMPARE(port.readLine(), QByteArray("R\n"));
}

void TestSim::exitWithParent() {
    // A shell starts the simulator and ends when its input closes; the
    // simulator must then stop by itself and clean up.
    QTemporaryDir dir;
    const QString fifo = dir.filePath("ctl");
    QProcess shell;
    shell.start("/bin/sh", {"-c", "\"$0\" --exit-with-parent --control \"$1\" >/dev/null & read x",
                            SimProcess::simulatorPath(), fifo});
    QVERIFY(shell.waitForStarted());
    QDeadlineTimer deadline(kAnswerMs);
    while (!QFileInfo(fifo).exists() && !deadline.hasExpired())
        QTest::qWait(20);
    QVERIFY(QFileInfo(fifo).exists());
    shell.closeWriteChannel();
    QVERIFY(shell.waitForFinished(kAnswerMs));
    deadline.setRemainingTime(kAnswerMs);
    while (QFileInfo(fifo).exists() && !deadline.hasExpired())
        QTest::qWait(20);
    QVERIFY(!QFileInfo(fifo).exists());
}

ORVEN_TEST_MAIN(TestSim)
#include "test_sim.moc"
