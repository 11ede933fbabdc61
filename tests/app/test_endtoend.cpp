// Whole runs in a child process, where ending the program really ends it:
// closing the main window while the test measurement waits on the
// instrument, the open failure's exit, and the real executable's start.
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

#include <cstdio>

#include "commands.h"
#include "frm_opening.h"
#include "mdifrm_main.h"
#include "process.h"
#include "settings.h"
#include "sim_process.h"
#include "test_env.h"

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

class TestEndToEnd : public QObject {
    Q_OBJECT

    struct Result {
        int exitCode = -1;
        QProcess::ExitStatus status = QProcess::CrashExit;
        QString out;
        QString settingsFile;
    };

    Result RunChild(const QString& run, const QString& com1, const QString& simLog, QTemporaryDir& cfg,
                    const std::function<void()>& prepare = {}) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
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
        return ChildRun(run);
    }
    TESTENV::UseTemporarySettings();
    QApplication app(argc, argv);
    TestEndToEnd tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_endtoend.moc"
