// Whole runs in a child process, where ending the program really ends it:
// closing the main window while the test measurement waits on the
// instrument, File > Exit while a row is on its way to the office, the open
// failure's exit, and the real executable's start.
// The child is this same test program, told what to do by ORVEN_FRAME_RUN.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <QDeadlineTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <thread>

#include "commands.h"
#include "frm_opening.h"
#include "mdifrm_main.h"
#include "process.h"
#include "settings.h"
#include "sim_process.h"
#include "test_env.h"

#ifdef ORVEN_HAVE_CALC
#include "../common/followed.h"
#include "../sheet/calc_test_office.h"
#include "frm_time.h"
#include "logging.h"
#endif

namespace {
const QByteArray kRes = QByteArray(CMD::MeasRes) + "\r\n";

void Say(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The child: the opening window, OK, the test measurement, then the way out
// that the run names, taken while the loop waits for an answer.
int ChildRun(const QString& run) {
    const QString simLog = qEnvironmentVariable("ORVEN_FRAME_SIMLOG");
    auto* boxes = new TESTENV::BoxAnswerer;   // the open failure's box
    Q_UNUSED(boxes);
    APP::Main();
    QTimer::singleShot(0, [run, simLog] {
        APP::OpeningForm()->Cmd->click();
        MDIFrm_Main* m = APP::MainForm();
        if (!m) return;
        if (run == QLatin1String("minimized")) m->showMinimized();
        auto* watch = new QTimer(m);
        watch->setInterval(5);
        QObject::connect(watch, &QTimer::timeout, m, [m, run, simLog, watch] {
            if (ReadFile(simLog).count(kRes) < 3) return;
            watch->stop();
            Say("CLOSING");
            if (run == QLatin1String("exit"))
                m->MnuFileExit->trigger();
            else
                m->close();
            Say("AFTER CLOSE");
        });
        watch->start();
        m->MnuMeasTest->trigger();
        Say("LOOP RETURNED");
    });
    const int rc = QApplication::exec();
    Say("EXEC RETURNED");
    return rc;
}
}  // namespace

#ifdef ORVEN_HAVE_CALC
// The child of a sheet run: a time-interval run at interval 0 into the office
// on ORVEN5927_CALC_PIPE. Once rows arrive the office is stopped; the next
// reading's row then hangs on its way, and File > Exit is chosen during the
// reading after it. ORVEN_FRAME_RESUME_MS > 0 lets the office go on that
// long after the exit began; otherwise it stays stopped (a hung office).
int ChildSheetRun() {
    const QString simLog = qEnvironmentVariable("ORVEN_FRAME_SIMLOG");
    const QString pipe = qEnvironmentVariable("ORVEN5927_CALC_PIPE");
    const int resumeMs = qEnvironmentVariableIntValue("ORVEN_FRAME_RESUME_MS");
    auto* boxes = new TESTENV::BoxAnswerer;
    Q_UNUSED(boxes);
    auto* readings = new Followed;
    APP::Main();
    QTimer::singleShot(0, [=] {
        APP::OpeningForm()->Cmd->click();
        MDIFrm_Main* m = APP::MainForm();
        if (!m) return;
        const QByteArray meas = QByteArray(CMD::MeasBatt) + "\r\n";
        auto* watch = new QTimer(m);
        auto stoppedAt = std::make_shared<qsizetype>(-1);
        watch->setInterval(5);
        QObject::connect(watch, &QTimer::timeout, m, [=] {
            const qsizetype sent = ReadFile(simLog).count(meas);
            if (*stoppedAt < 0) {
                if (sent < 3) return;
                // Nothing on its way now, then the office stops.
                SHEET::WaitForQueued();
                CALCTEST::SignalOffice(pipe, SIGSTOP);
                QDeadlineTimer limit(10000);
                while (!CALCTEST::OfficeStopped(pipe) && !limit.hasExpired()) QThread::msleep(5);
                *stoppedAt = sent;
                return;
            }
            // The reading asked for before the stop has been queued, and the next is asked.
            if (sent < *stoppedAt + 1) return;
            watch->stop();
            if (resumeMs > 0)
                std::thread([pipe, resumeMs] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(resumeMs));
                    CALCTEST::SignalOffice(pipe, SIGCONT);
                }).detach();
            std::printf("SHOWN %lld\n", static_cast<long long>(readings->times.size()));
            Say("EXITING");
            m->MnuFileExit->trigger();
            Say("AFTER EXIT");
        });
        watch->start();
        m->MnuMeasTime->trigger();
        Frm_Time* w = LOGGING::TimeWindow();
        if (!w) return;
        w->Text_Time->setText("0");
        w->Text_Count->setText("0");
        w->OpnMethod[1]->setChecked(true);
        w->Cmd[1]->click();
        Say("LOOP RETURNED");
    });
    const int rc = QApplication::exec();
    Say("EXEC RETURNED");
    return rc;
}
#endif

class TestEndToEnd : public QObject {
    Q_OBJECT

    struct Result {
        int exitCode = -1;
        QProcess::ExitStatus status = QProcess::CrashExit;
        QString out;
        QString settingsFile;
    };

    Result RunChild(const QString& run, const QString& com1, const QString& simLog, QTemporaryDir& cfg,
                    const std::function<void()>& prepare = {}, const QProcessEnvironment& extra = {}) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(extra);
        env.insert(QStringLiteral("ORVEN_FRAME_RUN"), run);
        env.insert(QStringLiteral("ORVEN_FRAME_SIMLOG"), simLog);
        env.insert(QStringLiteral("ORVEN5927_COM1"), com1);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), cfg.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::SeparateChannels);
        Result r;
        r.settingsFile = cfg.path() + QStringLiteral("/ORVEN/ORVEN 5927 RS.conf");
        if (prepare) prepare();
        child.start(QCoreApplication::applicationFilePath(), {});
        if (!child.waitForFinished(60000)) {
            child.kill();
            child.waitForFinished();
        }
        r.exitCode = child.exitCode();
        r.status = child.exitStatus();
        r.out = QString::fromLocal8Bit(child.readAllStandardOutput());
        return r;
    }

    static void Store(const QString& file, const QString& key, const QString& value) {
        QSettings s(file, QSettings::IniFormat);
        s.setValue(key, value);
    }

private slots:
    void closingDuringTheWaitEndsAtOnce_data() {
        QTest::addColumn<QString>("run");
        QTest::addColumn<bool>("mainWritten");
        QTest::newRow("close box") << "close" << true;
        QTest::newRow("File Exit") << "exit" << true;
        QTest::newRow("minimized") << "minimized" << false;
    }
    void closingDuringTheWaitEndsAtOnce() {
        QFETCH(QString, run);
        QFETCH(bool, mainWritten);
        // Slow answers: the close lands while a query waits.
        SimProcess sim({"--delay", "150"});
        QVERIFY(sim.started());
        QTemporaryDir cfg;
        const QString file = cfg.path() + QStringLiteral("/ORVEN/ORVEN 5927 RS.conf");
        Result r = RunChild(run, sim.devicePath(), sim.logPath(), cfg, [&] {
            Store(file, QStringLiteral("Version/Number"), QStringLiteral("120"));
            Store(file, QStringLiteral("Form Main/Width"), QStringLiteral("4321"));
        });
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(QLatin1String("CLOSING")), qPrintable(r.out));
        // Nothing after the close ran: not the rest of the handler, not the loop.
        QVERIFY2(!r.out.contains(QLatin1String("AFTER CLOSE")), qPrintable(r.out));
        QVERIFY(!r.out.contains(QLatin1String("RETURNED")));

        QSettings s(file, QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Form Main/Width")).toString() != QLatin1String("4321"), mainWritten);
        QCOMPARE(s.contains(QStringLiteral("Form Main/Top")), mainWritten);
        QVERIFY(s.contains(QStringLiteral("Form Display/Top")));
        QVERIFY(s.contains(QStringLiteral("Form Display/Left")));
        QVERIFY(sim.received().count(kRes) >= 3);
    }

#ifdef ORVEN_HAVE_CALC
    // File > Exit while a row is on its way to the office: the program ends
    // once the row is in, and every reading it showed is in the sheet. An
    // office that never answers costs one call limit, then the program ends.
    void exitWaitsForTheRowOnItsWayToTheSheet_data() {
        QTest::addColumn<int>("resumeMs");
        QTest::newRow("office answers late") << 1000;
        QTest::newRow("office hangs") << 0;
    }
    void exitWaitsForTheRowOnItsWayToTheSheet() {
        QFETCH(int, resumeMs);
        QTemporaryDir office;
        const QString pipe = CALCTEST::TestPipe("exit");
        const SHEET::CALC::Options opt = CALCTEST::HeadlessOptions(pipe, office.path() + "/profile");
        struct End {
            QString pipe;
            ~End() { CALCTEST::EndOffice(pipe); }
        } end{pipe};
        QVERIFY2(SHEET::CALC::MakeCalcProvider(opt)->Create(), "the office could not be started");
        // Slow answers, so the exit lands while a reading is asked for.
        SimProcess sim({"--mode", "RV", "--delay", "200"});
        QVERIFY(sim.started());
        QTemporaryDir cfg;
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("ORVEN5927_CALC_PIPE"), pipe);
        extra.insert(QStringLiteral("ORVEN5927_CALC_CALL_MS"), QStringLiteral("5000"));
        extra.insert(QStringLiteral("ORVEN_FRAME_RESUME_MS"), QString::number(resumeMs));
        const QString file = cfg.path() + QStringLiteral("/ORVEN/ORVEN 5927 RS.conf");
        Result r = RunChild(QStringLiteral("sheet"), sim.devicePath(), sim.logPath(), cfg,
                            [&] { Store(file, QStringLiteral("Version/Number"), QStringLiteral("120")); }, extra);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(QLatin1String("EXITING")), qPrintable(r.out));
        QVERIFY2(!r.out.contains(QLatin1String("AFTER EXIT")), qPrintable(r.out));
        const int shown = r.out.section(QLatin1String("SHOWN "), 1).section('\n', 0, 0).toInt();
        QVERIFY2(shown >= 3, qPrintable(r.out));
        if (resumeMs == 0) return;   // ended after one limit; what the office holds is its own affair

        // Whatever the child left on the line reaches the office now.
        CALCTEST::SignalOffice(pipe, SIGCONT);
        SHEET::CALC::OperatorProbe probe(opt);
        QVERIFY(probe.Connected());
        for (int row = 2; row <= shown + 1; ++row) {
            const auto cell = probe.At(row, 2);
            QVERIFY2(cell.kind == SHEET::CALC::OperatorProbe::Cell::Value && qFuzzyCompare(cell.value, 0.01234),
                     qPrintable(QStringLiteral("row %1 of %2 shown: %3").arg(row).arg(shown + 1).arg(cell.shown)));
        }
        QCOMPARE(int(probe.At(shown + 2, 2).kind), int(SHEET::CALC::OperatorProbe::Cell::Empty));
        probe.MarkAllUnmodified();
    }
#endif

    void openFailureExitsWithItsCode() {
        QTemporaryDir cfg;
        Result r = RunChild(QStringLiteral("close"), QStringLiteral("/nonexistent/orven-tty"), QString(), cfg);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(!r.out.contains(QLatin1String("RETURNED")));
        QSettings s(r.settingsFile, QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Version/Number")).toString(), QStringLiteral("120"));
        QVERIFY(!s.contains(QStringLiteral("Form Main/Top")));
        QVERIFY(!s.contains(QStringLiteral("Form Display/Top")));
    }

    void programStartsWithoutReadingArguments() {
        const QString app = qEnvironmentVariable("ORVEN5927_APP");
        if (app.isEmpty()) QSKIP("ORVEN5927_APP not set");
        QTemporaryDir cfg;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), cfg.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        // Qt would obey these if the program passed its arguments on.
        p.start(app, {QStringLiteral("-platform"), QStringLiteral("no-such-platform")});
        QVERIFY(p.waitForStarted());
        const QString file = cfg.path() + QStringLiteral("/ORVEN/ORVEN 5927 RS.conf");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file), 20000);
        QVERIFY(!p.waitForFinished(1000));   // the opening window waits for the operator
        QCOMPARE(p.state(), QProcess::Running);
        p.terminate();
        p.waitForFinished();
        QSettings s(file, QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Version/Number")).toString(), QStringLiteral("120"));
    }
};

int main(int argc, char** argv) {
    const QString run = qEnvironmentVariable("ORVEN_FRAME_RUN");
    if (!run.isEmpty()) {
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
#ifdef ORVEN_HAVE_CALC
        if (run == QLatin1String("sheet")) return ChildSheetRun();
#endif
        return ChildRun(run);
    }
    TESTENV::UseTemporarySettings();
    QApplication app(argc, argv);
    TestEndToEnd tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_endtoend.moc"
