// The measurement engine without a window, against the simulator on a link
// of its own: what goes over the line and into a file for each kind of run,
// how runs end (count, stop flag, interruption, a device that goes away, a
// file that cannot be settled on disk), and a port notifier that finds
// nothing to read.
#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <unistd.h>

#include "clock.h"
#include "errors.h"
#include "outfiles.h"
#include "outputs.h"
#include "readings.h"
#include "rs_lib32.h"
#include "runs.h"
#include "sim_process.h"
#include "test_env.h"

namespace {

constexpr char kSetupQuery[] = ":HEAD OFF;:HOLD OFF;:MOD?;:SAMP?;:COMP?\r\n";

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every reading the observer was given, one line each.
struct Recorder : READINGS::Subscriber {
    QStringList lines;
    Recorder() { READINGS::Subscribe(this); }
    void activityStarted(const READINGS::Activity& a) override { lines << QStringLiteral("start %1").arg(a.output); }
    void readingTaken(const READINGS::Reading& r) override { lines << r.fields.join('|'); }
    void activityEnded() override { lines << QStringLiteral("end"); }
};

int FailingCall(int) {
    errno = EIO;
    return -1;
}
int ClosingButFailing(int fd) {
    ::close(fd);
    errno = EIO;
    return -1;
}

}  // namespace

class TestEngine : public QObject {
    Q_OBJECT
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<RS_LIB32::Link> link;
    QTemporaryDir dir;
    QTime clockNow;

    void up(const QStringList& args) {
        link.reset();
        sim.reset(new SimProcess(args));
        QVERIFY(sim->started());
        link.reset(new RS_LIB32::Link);
        QCOMPARE(link->CommOpenDevice(sim->devicePath()), 1);
    }
    // A file run of `count` readings at interval 0, in the time-stamped form.
    ACQ::Outcome intervalToCsv(const QString& path, qint64 count, qint16& flagStop,
                               const std::function<void(ACQ::IntervalRun&)>& during = {}) {
        const int n = OUTFILES::FreeFile();
        if (!OUTFILES::OpenForOutput(n, path)) return {ACQ::Ending::Failed, "open"};
        ACQ::IntervalRun run(*link, flagStop);
        ACQ::CsvFile file(n, path, ACQ::CsvFile::Form::TimeStamped, true);
        ACQ::Published published({.kind = READINGS::Kind::TimeInterval}, &file);
        run.AddOutput(&file);
        run.AddOutput(&published);
        if (during) connect(&run, &ACQ::Run::readingTaken, this, [&] { during(run); });
        return run.Start(0, count);
    }

private slots:
    void init() {
        clockNow = QTime(9, 5, 30);
        ACQ::SetClock({[this] { return clockNow = clockNow.addSecs(1); }, [](int) {}});
    }
    void cleanup() {
        ACQ::SetClock({});
        OUTFILES::SetFinalCallsForTests(nullptr, nullptr);
        link.reset();
        sim.reset();
    }

    // The interval run's bytes on the line and in the file, for each layout
    // of the fields; what the observer sees has one meaning per field.
    void intervalRunBytes_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("published");
        QTest::newRow("RV, comparator on")
            << QStringList{"--comp", "1", "--comp-result", "HI"} << QByteArray(":MEAS:BATT?")
            << QByteArray("Time,Resistance,Voltage,Comp\r\n09:05:31,012.34E-3,+12.345E+0,HI\r\n"
                          "09:05:32,012.34E-3,+12.345E+0,HI\r\n")
            << QString("012.34E-3|+12.345E+0|HI");
        QTest::newRow("R, comparator on") << QStringList{"--mode", "R", "--comp", "1", "--comp-result", "LO"}
                                          << QByteArray(":MEAS:RES?")
                                          << QByteArray("Time,Resistance,Comp\r\n09:05:31,012.34E-3,LO\r\n"
                                                        "09:05:32,012.34E-3,LO\r\n")
                                          << QString("012.34E-3||LO");
        QTest::newRow("R, comparator off") << QStringList{"--mode", "R"} << QByteArray(":MEAS:RES?")
                                           << QByteArray("Time,Resistance\r\n09:05:31,012.34E-3\r\n"
                                                         "09:05:32,012.34E-3\r\n")
                                           << QString("012.34E-3||");
    }
    void intervalRunBytes() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, csv);
        QFETCH(QString, published);
        up(args);
        const QString path = dir.filePath("run.csv");
        Recorder rec;
        qint16 stop = -1;   // a stop from before the start does not count
        const ACQ::Outcome out = intervalToCsv(path, 2, stop);
        QVERIFY2(out.ok(), qPrintable(out.error));
        QCOMPARE(ReadAll(path), csv);
        QVERIFY(sim->waitReceived(command + "\r\n" + command + "\r\n"));
        QCOMPARE(sim->received(), kSetupQuery + command + "\r\n" + command + "\r\n");
        QCOMPARE(rec.lines, (QStringList{"start " + path, published, published, "end"}));
    }

    // A stop during a reading lets that reading be written whole; a file
    // that cannot be settled on disk at the end is a failed run, not a
    // good one; a device that goes away is reported, once.
    void runEndings() {
        up({});
        const QString path = dir.filePath("stop.csv");
        qint16 stop = 0;
        ACQ::Outcome out = intervalToCsv(path, 0, stop, [&](ACQ::IntervalRun& run) {
            if (run.ReadingsTaken() == 3) {
                stop = -1;
                run.Wake();
            }
        });
        QVERIFY(out.ok());
        QCOMPARE(ReadAll(path).count("\r\n"), 4);   // the header and three whole rows

        OUTFILES::SetFinalCallsForTests(&FailingCall, nullptr);
        out = intervalToCsv(dir.filePath("sync.csv"), 2, stop);
        QCOMPARE(out.ending, ACQ::Ending::Failed);
        OUTFILES::SetFinalCallsForTests(nullptr, &ClosingButFailing);
        out = intervalToCsv(dir.filePath("close.csv"), 2, stop);
        QCOMPARE(out.ending, ACQ::Ending::Failed);
        OUTFILES::SetFinalCallsForTests(nullptr, nullptr);

        QSignalSpy lost(link.get(), &RS_LIB32::Link::portLost);
        out = intervalToCsv(dir.filePath("unplug.csv"), 0, stop, [&](ACQ::IntervalRun& run) {
            if (run.ReadingsTaken() == 2) sim->control("unplug");
        });
        QCOMPARE(out.ending, ACQ::Ending::Failed);
        QVERIFY(out.portLost);
        QCOMPARE(lost.count(), 1);
        QVERIFY(!link->IsOpen() || link->InputQueueCount() == 0);
    }

    // The trigger loop: a row per trigger at the next whole second, the stop
    // flag read right after a trigger's answer, an interruption that ends the
    // wait at once; each way the instrument is released last.
    void triggerLoop() {
        up({"--mode", "R"});
        const QString path = dir.filePath("trig.csv");
        const int n = OUTFILES::FreeFile();
        QVERIFY(OUTFILES::OpenForAppend(n, path));
        ACQ::CsvFile file(n, path, ACQ::CsvFile::Form::Loaded, false);
        ACQ::LoadRun run(*link);
        run.QuerySetup();
        run.AddOutput(&file);
        run.BeginActivity(READINGS::Kind::ExternalTrigger, file);
        qint16 stop = 0;
        int waits = 0;
        connect(&run, &ACQ::LoadRun::waitingForTrigger, this, [&] {
            ++waits;
            // Two rows, then a stop that the third trigger's answer meets.
            if (waits == 3) stop = -1;
            QTimer::singleShot(50, this, [&] { sim->trigger(); });
        });
        ACQ::Outcome out = run.TriggerLoop(nullptr, stop);
        QVERIFY2(out.ok(), qPrintable(out.error));
        QCOMPARE(ReadAll(path), QByteArray("012.34E-3\r\n012.34E-3\r\n"));
        QVERIFY(sim->waitReceived(":SAMP?\r\n:HOLD OFF\r\n"));
        QVERIFY(sim->received().endsWith(":MEAS:RES?\r\n:HOLD ON;*TRG;*WAI;:SAMP?\r\n:HOLD OFF\r\n"));

        // Interrupted while it waits for a trigger that never comes.
        disconnect(&run, &ACQ::LoadRun::waitingForTrigger, this, nullptr);
        stop = 0;
        connect(&run, &ACQ::LoadRun::waitingForTrigger, this,
                [&] { QTimer::singleShot(100, this, [&] { link->Interrupt(); }); });
        out = run.TriggerLoop(nullptr, stop);
        QVERIFY(out.interrupted);
        QVERIFY(sim->waitReceived(":HOLD ON;*TRG;*WAI;:SAMP?\r\n:HOLD OFF\r\n"));
        QCOMPARE(ReadAll(path).count("\r\n"), 2);
        run.End();
        QVERIFY(OUTFILES::Close(n));
    }

    // The port's own notifier may fire for bytes a direct read has already
    // taken; its empty read is no unplugged device, and reading goes on.
    void emptyReadIsNoUnplug() {
        up({});
        QSignalSpy lost(link.get(), &RS_LIB32::Link::portLost);
        QSerialPort* port = link->Port();
        QSocketNotifier thief(port->handle(), QSocketNotifier::Read);
        int stolen = 0;
        connect(&thief, &QSocketNotifier::activated, this, [&] {
            char buf[256];
            const ssize_t n = ::read(int(port->handle()), buf, sizeof buf);
            if (n > 0) stolen += int(n);
        });
        // Notifiers of one descriptor fire in one pass, in the order they
        // were switched on: put the port's own behind the thief, so that it
        // reads nothing.
        for (QSocketNotifier* own : port->findChildren<QSocketNotifier*>()) {
            if (own == &thief || own->type() != QSocketNotifier::Read || !own->isEnabled()) continue;
            own->setEnabled(false);
            own->setEnabled(true);
        }
        for (int i = 0; i < 20 && lost.isEmpty(); ++i) {
            QVERIFY(link->CommSend(QStringLiteral(":MEAS:RES?")));
            QTest::qWait(20);
        }
        QVERIFY(stolen > 0);
        thief.setEnabled(false);
        QTest::qWait(50);
        QCOMPARE(lost.count(), 0);
        QVERIFY(link->IsOpen());
        link->CommPurge();
        QStringList fields{QString(), QString(), QString()};
        QVERIFY(link->CommSend(QStringLiteral(":MEAS:BATT?")));
        link->CommReceive(fields, 5000);
        QCOMPARE(fields, (QStringList{"012.34E-3", "+12.345E+0", ""}));
    }
};

ORVEN_TEST_MAIN(TestEngine)
#include "test_engine.moc"
