// The serial link against the simulator on a real pseudo-terminal: what goes
// out byte for byte, how answer lines become fields, the limits on bad
// input, exclusive access, and the end of the program when the device goes.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <sys/wait.h>
#include <unistd.h>

#include "commands.h"
#include "port_access.h"
#include "process.h"
#include "frame.h"
#include "rs_lib32.h"
#include "settings.h"
#include "sim_process.h"
#include "test_env.h"

using namespace RS_LIB32;

namespace {

QString hexOf(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex()); }

// Waits, serving events, until cond() holds or the time is up.
template <class F>
bool waitUntil(F cond, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return cond();
}

}  // namespace

class TestRsLib32 : public QObject {
    Q_OBJECT

    std::unique_ptr<SimProcess> sim;
    int boxes = 0;
    QList<int> endCodes;

    // A fresh simulator (silent unless told otherwise) with COM1 mapped to it
    // and the port open.
    void startSim(const QStringList& args = {"--silent"}) {
        ProgramLink().CommClose();
        sim.reset(new SimProcess(args));
        QVERIFY(sim->started());
        qputenv("ORVEN5927_COM1", QFile::encodeName(sim->devicePath()));
        ProgramLink().CommInit();
        QCOMPARE(ProgramLink().CommOpen(0), 1);
        QVERIFY(ProgramLink().IsOpen());
    }
    void inject(const QByteArray& bytes) { QVERIFY(sim->control("send " + hexOf(bytes))); }

private slots:
    void init() {
        boxes = 0;
        endCodes.clear();
        FRAME::EndOnPortLoss();
        FRAME::SetFatalBoxHook([this] { ++boxes; });
        SETTING::SetProcessEnder([this](int code) { endCodes.append(code); });
    }
    void cleanup() {
        ProgramLink().CommClose();
        sim.reset();
        qunsetenv("ORVEN5927_COM1");
        qunsetenv("ORVEN5927_COM2");
    }

    void lineParametersAndDeviceMapping();
    void openRefusesOtherPortNumbersTouchingNothing();
    void openIsExclusiveBothWays();
    void openFailuresAreExplained();
    void permissionDeniedNamesTheGroup();
    void sendPutsExactBytesOnTheLine();
    void receiveAppliesTheByteRules();
    void fieldOverflowLeavesTheRestForTheNextReceive();
    void overlongLineIsCutAndSkipped();
    void silentInstrumentTimesOutWhileEventsRun();
    void partialLineBeforeTimeoutIsNotTakenForAnAnswer();
    void purgeEmptiesTheInputQueue();
    void receiveStartedDuringAWaitLeavesTheOuterLineAlone();
    void unplugWhileReceivingEndsTheProgram();
    void unplugWhileIdleIsFoundLater();
    void unplugShowsTheCriticalBox();
    void reopenAfterCloseAndStoredPort();
};

void TestRsLib32::lineParametersAndDeviceMapping() {
    // Environment, then the stored path, then the fixed default.
    qunsetenv("ORVEN5927_COM1");
    qunsetenv("ORVEN5927_COM2");
    QCOMPARE(DevicePath(0), QString("/dev/ttyS0"));
    QCOMPARE(DevicePath(1), QString("/dev/ttyS1"));
    SETTING::SaveSetting(SETTING::Key::SecComm, SETTING::Key::Com2Device, "/dev/ttyUSB7");
    QCOMPARE(DevicePath(1), QString("/dev/ttyUSB7"));
    QCOMPARE(DevicePath(0), QString("/dev/ttyS0"));
    qputenv("ORVEN5927_COM2", "/tmp/my com2");
    QCOMPARE(DevicePath(1), QString("/tmp/my com2"));
    SETTING::SaveSetting(SETTING::Key::SecComm, SETTING::Key::Com2Device, "");
    QVERIFY(DevicePath(2).isEmpty());

    // The opened port carries the settings of the record (and no modem
    // line failure on a pseudo-terminal stopped the open).
    startSim();
    QVERIFY(PORTACCESS::IsPseudoTerminal(sim->devicePath()));
    QVERIFY(!PORTACCESS::IsPseudoTerminal("/dev/null"));
    const int fd = ::open(QFile::encodeName(sim->devicePath()).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) QSKIP("the device is held exclusively; its line settings cannot be read");
    termios tio{};
    const int got = ::tcgetattr(fd, &tio);
    ::close(fd);
    QCOMPARE(got, 0);
    QCOMPARE(::cfgetospeed(&tio), speed_t(B9600));
    QCOMPARE(::cfgetispeed(&tio), speed_t(B9600));
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF | IXANY), tcflag_t(0));
}

void TestRsLib32::openRefusesOtherPortNumbersTouchingNothing() {
    startSim();
    qputenv("ORVEN5927_COM2", "/nonexistent/device");
    QCOMPARE(ProgramLink().CommOpen(0), 1);   // a valid reopen clears the last error
    for (int bad : {2, -1, 3, 255}) {
        QCOMPARE(ProgramLink().CommOpen(bad), -1);
        QVERIFY2(ProgramLink().IsOpen(), "a refused port number closed the open port");
        QVERIFY(ProgramLink().LastOpenError().isEmpty());
    }
    // Still usable after the refusals.
    QVERIFY(ProgramLink().CommSend(CMD::MeasRes));
    QVERIFY(sim->waitReceived(":MEAS:RES?\r\n"));
}

void TestRsLib32::openIsExclusiveBothWays() {
    startSim();
    QSerialPort other(sim->devicePath());
    QVERIFY(!other.open(QIODevice::ReadWrite));

    ProgramLink().CommClose();
    QVERIFY(!ProgramLink().IsOpen());
    ProgramLink().CommClose();   // closing twice is harmless
    QSerialPort holder(sim->devicePath());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    QCOMPARE(ProgramLink().CommOpen(0), -1);
    QVERIFY(!ProgramLink().IsOpen());
    QVERIFY(!ProgramLink().LastOpenPermissionDenied());
    QVERIFY(ProgramLink().LastOpenError().contains(sim->devicePath()));
    QVERIFY(ProgramLink().LastOpenError().contains("in use"));
    QVERIFY(!ProgramLink().CommSend("x"));
    holder.close();
    QCOMPARE(ProgramLink().CommOpen(0), 1);
    QVERIFY(ProgramLink().LastOpenError().isEmpty());
}

void TestRsLib32::openFailuresAreExplained() {
    qputenv("ORVEN5927_COM2", "/nonexistent/ttyX9");
    ProgramLink().CommInit();
    QCOMPARE(ProgramLink().CommOpen(1), -1);
    QVERIFY(!ProgramLink().IsOpen());
    QVERIFY(ProgramLink().LastOpenError().contains("/nonexistent/ttyX9"));
    QVERIFY(!ProgramLink().LastOpenPermissionDenied());
}

void TestRsLib32::permissionDeniedNamesTheGroup() {
    QTemporaryDir dir;
    const QString path = dir.filePath("ttyFake");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0600) == 0);
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);

    const QString group = PORTACCESS::OwningGroup(path);
    QVERIFY(!group.isEmpty());
    const QString msg = PORTACCESS::PermissionMessage(path, group);
    QVERIFY(msg.contains(path));
    QVERIFY(msg.contains("\"" + group + "\""));
    QVERIFY(PORTACCESS::PermissionMessage(path, "").contains("\"dialout\""));

    // Someone without rights on the device is told so; the owner is not.
    const auto asOwner = PORTACCESS::Diagnose(path, QSerialPort::PermissionError, "x");
    QVERIFY(!asOwner.permissionDenied);
    if (::geteuid() != 0) QSKIP("needs root to try the device as another user");
    // A terminal of root's, named as a user may write it: without /dev/.
    int master = -1, slave = -1;
    char name[128] = {};
    QCOMPARE(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    const QString pts = QString::fromLocal8Bit(name);
    QVERIFY(pts.startsWith("/dev/pts/"));
    qputenv("ORVEN5927_COM1", pts.mid(5).toLocal8Bit());
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        const auto d = PORTACCESS::Diagnose(path, QSerialPort::PermissionError, "x");
        const bool good = d.permissionDenied && d.message.contains(path) &&
                          d.message.contains("\"" + group + "\"");
        const bool bareName = ProgramLink().CommOpen(0) == -1 && ProgramLink().LastOpenPermissionDenied() && ProgramLink().LastOpenError().contains(pts);
        ::_exit(good ? (bareName ? 0 : 2) : 1);
    }
    ::close(slave);
    ::close(master);
    int status = -1;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestRsLib32::sendPutsExactBytesOnTheLine() {
    startSim();
    QVERIFY(ProgramLink().CommSend(CMD::SetupQuery));
    QVERIFY(ProgramLink().CommSend(""));
    QVERIFY(ProgramLink().CommSend(QString("caf") + QChar(0xE9)));
    const QByteArray expected = QByteArray(CMD::SetupQuery) + "\r\n" + "\r\n" + "caf\xe9\r\n";
    QVERIFY(sim->waitReceived(expected));
    QTest::qWait(100);   // nothing more trails behind
    QCOMPARE(sim->received(), expected);
}

void TestRsLib32::receiveAppliesTheByteRules() {
    startSim();
    QStringList f{"a", "b", "c"};

    inject(QByteArray::fromHex("31323B464153542C300D0A"));
    ProgramLink().CommReceive(f);
    QCOMPARE(f, (QStringList{"12", "FAST", "0"}));

    f = QStringList{"a", "b", "c"};
    inject("\n");
    ProgramLink().CommReceive(f);
    QCOMPARE(f, (QStringList{"", "b", "c"}));
    inject("\r\n");
    f[0] = "z";
    ProgramLink().CommReceive(f);
    QCOMPARE(f, (QStringList{"", "b", "c"}));

    inject(";,\n");
    ProgramLink().CommReceive(f);
    QCOMPARE(f, (QStringList{"", "", ""}));

    inject("1\t2\x01\x1b 3,\x7f\x80\xff\r\n");
    ProgramLink().CommReceive(f);
    QCOMPARE(f[0], QString("12 3"));
    QCOMPARE(f[1], QString(QChar(0x7f)) + QChar(0x80) + QChar(0xff));
}

void TestRsLib32::fieldOverflowLeavesTheRestForTheNextReceive() {
    startSim();
    inject("a;b,c;d,e\nnext\n");
    QStringList f{"", "", ""};
    QVERIFY_THROWS_EXCEPTION(FieldOverflowError, ProgramLink().CommReceive(f));
    QCOMPARE(f, (QStringList{"a", "b", "c"}));
    QStringList g{"x", "y", "z"};
    ProgramLink().CommReceive(g);
    QCOMPARE(g, (QStringList{"d", "e", "z"}));
    ProgramLink().CommReceive(g);
    QCOMPARE(g[0], QString("next"));

    QStringList two{"", ""};
    inject("1,2,3\n");
    QVERIFY_THROWS_EXCEPTION(FieldOverflowError, ProgramLink().CommReceive(two));
    ProgramLink().CommReceive(two);
    QCOMPARE(two[0], QString("3"));

    QStringList none;
    QVERIFY_THROWS_EXCEPTION(FieldOverflowError, ProgramLink().CommReceive(none));
}

void TestRsLib32::overlongLineIsCutAndSkipped() {
    startSim();
    QStringList f{"", "", ""};
    QVERIFY(sim->control(QString("overlong %1").arg(kMaxLineBytes + 500)));
    QVERIFY_THROWS_EXCEPTION(LineTooLongError, ProgramLink().CommReceive(f));
    QVERIFY(f[0].size() <= kMaxLineBytes);

    // More of the same line arrives later, then its LF and a good line
    // (the simulator carries out its control lines in order).
    QVERIFY(sim->control("overlong 3000"));
    inject("\nOK,1\n");
    ProgramLink().CommReceive(f);
    QCOMPARE(f.mid(0, 2), (QStringList{"OK", "1"}));

    // A line exactly at the cap is still taken whole.
    QVERIFY(sim->control(QString("overlong %1").arg(kMaxLineBytes)));
    inject("\n");
    ProgramLink().CommReceive(f);
    QCOMPARE(f[0].size(), qsizetype(kMaxLineBytes));
}

void TestRsLib32::silentInstrumentTimesOutWhileEventsRun() {
    startSim();
    bool timerRan = false;
    QTimer::singleShot(50, [&] { timerRan = true; });
    QVERIFY(ProgramLink().CommSend(CMD::MeasRes));
    QStringList f{"keep", "", ""};
    QElapsedTimer t;
    t.start();
    QVERIFY_THROWS_EXCEPTION(NoResponseError, ProgramLink().CommReceive(f, 400));
    QVERIFY2(t.elapsed() >= 350, "gave up before the time limit");
    QVERIFY2(timerRan, "window events were not served while waiting");
    QVERIFY(ProgramLink().IsOpen());

    // The instrument speaks again: the next exchange works.
    QVERIFY(sim->control("silent off"));
    QVERIFY(ProgramLink().CommSend(CMD::MeasRes));
    ProgramLink().CommReceive(f, kNoTimeLimit);
    QVERIFY(f[0].endsWith("E-3"));
}

void TestRsLib32::partialLineBeforeTimeoutIsNotTakenForAnAnswer() {
    startSim();
    inject("12;3");
    QStringList f{"", "", ""};
    QVERIFY_THROWS_EXCEPTION(NoResponseError, ProgramLink().CommReceive(f, 500));
    QCOMPARE(f[0], QString("12"));
    inject("4\nfresh\n");
    ProgramLink().CommReceive(f);
    QCOMPARE(f[0], QString("fresh"));
}

void TestRsLib32::purgeEmptiesTheInputQueue() {
    startSim();
    inject("junk;x\nmore");
    QVERIFY(waitUntil([] { return ProgramLink().InputQueueCount() >= 11; }));
    ProgramLink().CommPurge();
    QCOMPARE(ProgramLink().InputQueueCount(), qint64(0));
    inject("fresh\n");
    QStringList f{"", "", ""};
    ProgramLink().CommReceive(f);
    QCOMPARE(f[0], QString("fresh"));

    // Bytes already taken into the link's own buffer go too.
    inject("one\ntwo\nthree\n");
    QVERIFY(waitUntil([] { return ProgramLink().InputQueueCount() >= 14; }));
    ProgramLink().CommReceive(f);
    QCOMPARE(f[0], QString("one"));
    QVERIFY(ProgramLink().InputQueueCount() > 0);
    ProgramLink().CommPurge();
    QCOMPARE(ProgramLink().InputQueueCount(), qint64(0));

    // A purge also forgets the rest of an overlong line.
    QVERIFY(sim->control(QString("overlong %1").arg(kMaxLineBytes + 10)));
    QVERIFY_THROWS_EXCEPTION(LineTooLongError, ProgramLink().CommReceive(f));
    QVERIFY(waitUntil([] { return ProgramLink().InputQueueCount() >= 9; }));
    ProgramLink().CommPurge();
    inject("after\n");
    ProgramLink().CommReceive(f);
    QCOMPARE(f[0], QString("after"));
}

void TestRsLib32::receiveStartedDuringAWaitLeavesTheOuterLineAlone() {
    startSim();
    QString innerGot;
    bool innerDone = false;
    // An event handler that runs while the outer receive waits and holds an
    // exchange of its own (callers should not, but it must not corrupt
    // anything when they do).
    QTimer::singleShot(100, [&] {
        QStringList inner{"", "", ""};
        inject("in,1\n");
        ProgramLink().CommReceive(inner);
        innerGot = inner.join('|');
        innerDone = true;
        inject("out,2;3\n");
    });
    QStringList outer{"", "", "old"};
    ProgramLink().CommReceive(outer);
    QVERIFY(innerDone);
    QCOMPARE(innerGot, QString("in|1|"));
    QCOMPARE(outer, (QStringList{"out", "2", "3"}));
}

void TestRsLib32::unplugWhileReceivingEndsTheProgram() {
    startSim();
    QTimer::singleShot(200, [this] { sim->control("unplug"); });
    QStringList f{"", "", ""};
    bool ended = false;
    try {
        ProgramLink().CommReceive(f, 20000);
    } catch (const ProcessEnded& e) {
        ended = true;
        QCOMPARE(e.code, 1);
    }
    QVERIFY2(ended, "the receive did not end the program");
    QCOMPARE(boxes, 1);
    QCOMPARE(endCodes, QList<int>{1});
    QVERIFY(!ProgramLink().IsOpen());
    // Nothing keeps firing after the end.
    QTest::qWait(200);
    QCOMPARE(boxes, 1);
}

void TestRsLib32::unplugWhileIdleIsFoundLater() {
    startSim();
    QVERIFY(sim->control("unplug"));
    QVERIFY(waitUntil([] { return !ProgramLink().IsOpen(); }));
    QCOMPARE(boxes, 0);   // nobody was waiting: no box yet
    QVERIFY(!ProgramLink().CommSend(CMD::MeasRes));
    QStringList f{"", "", ""};
    QVERIFY_THROWS_EXCEPTION(ProcessEnded, ProgramLink().CommReceive(f));
    QCOMPARE(boxes, 1);
    QCOMPARE(endCodes, QList<int>{1});
}

void TestRsLib32::unplugShowsTheCriticalBox() {
    startSim();
    FRAME::SetFatalBoxHook(nullptr);   // the real box, answered by the helper
    TESTENV::BoxAnswerer answerer;
    QTimer::singleShot(100, [this] { sim->control("unplug"); });
    QStringList f{"", "", ""};
    QVERIFY_THROWS_EXCEPTION(ProcessEnded, ProgramLink().CommReceive(f, 20000));
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.last().text, QString("Input Error!  Good bye!"));
    QCOMPARE(answerer.last().title, QString("Comm Program"));
    QCOMPARE(answerer.last().icon, int(QMessageBox::Critical));
    QCOMPARE(endCodes, QList<int>{1});
    QVERIFY(!ProgramLink().IsOpen());
}

void TestRsLib32::reopenAfterCloseAndStoredPort() {
    startSim({});
    ProgramLink().CommClose();
    QVERIFY(!ProgramLink().IsOpen());
    QCOMPARE(ProgramLink().CommOpen(0), 1);
    QVERIFY(ProgramLink().CommSend(CMD::MeasRes));
    QStringList f{"", "", ""};
    ProgramLink().CommReceive(f);
    QVERIFY(!f[0].isEmpty());

    SaveComPort(1);
    QCOMPARE(LoadComPort(), qint16(1));
    SaveComPort(0);
    QCOMPARE(LoadComPort(), qint16(0));
}

ORVEN_TEST_MAIN(TestRsLib32)
#include "test_rs_lib32.moc"
