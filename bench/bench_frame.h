#pragma once
// The frame the logging benchmarks measure in: COM1 open on the simulator, a
// main window with its MDI area and the display window, and the measurement
// run from inside the event loop, as the program runs its windows.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QMainWindow>
#include <QMdiArea>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "bench_common.h"
#include "frame.h"
#include "frm_disp.h"
#include "frm_time.h"
#include "logging.h"
#include "readings.h"
#include "rs_lib32.h"

namespace BENCH {

// Settings in `home`, which must outlive the program's QSettings, and no
// display needed. Call before the QApplication exists.
inline void UsePrivateSettings(const QTemporaryDir& home) {
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Returns what `measure` returned; the port is closed again afterwards.
inline int MeasureInFrame(const QString& device, const std::function<int()>& measure) {
    qputenv("ORVEN5927_COM1", QFile::encodeName(device));
    RS_LIB32::ProgramLink().CommInit();
    if (RS_LIB32::ProgramLink().CommOpen(0) != 1) Fail("cannot open the simulator's port");

    QMainWindow main;
    auto* area = new QMdiArea;
    main.setCentralWidget(area);
    main.resize(1200, 800);
    FRAME::SetMainWindow(&main, area);
    main.show();
    FRAME::Disp();

    int rc = 1;
    QTimer::singleShot(0, [&] {
        rc = measure();
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();

    RS_LIB32::ProgramLink().CommClose();
    return rc;
}

// Answers the box a run ends with ("Measurement ended.") by its default button.
inline void AnswerBoxes() {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        if (QAbstractButton* b = box->defaultButton()) b->click();
}

// One time-interval run of the window at interval 0 into `csv` (or a sheet),
// watched every `pollMs`: the readings and nanoseconds from its first logged
// reading to its `target`-th, when Stop is pressed.
struct TimedRound {
    qint64 readings = 0;
    qint64 ns = 0;
    double perSecond() const { return ns > 0 ? double(readings) * 1e9 / double(ns) : 0.0; }
};
inline TimedRound TimedTimeRun(Frm_Time* w, const QString& csv, qint64 target, bool sheet = false, int pollMs = 2) {
    LOGGING::SetFileChooser([csv](bool) { return csv; });
    w->Text_Time->setText("0");
    w->Text_Count->setText("0");
    w->OpnMethod[sheet ? 1 : 0]->setChecked(true);
    // Counted from the readings themselves: a run that keeps the event
    // queue busy must not keep its Stop from being pressed.
    struct StopAt : READINGS::Subscriber {
        Frm_Time* w;
        qint64 target;
        QElapsedTimer clock;
        qint64 n = 0, t0 = -1, t1 = -1;
        void activityStarted(const READINGS::Activity&) override {}
        void activityEnded() override {}
        void readingTaken(const READINGS::Reading&) override {
            if (++n == 1) t0 = clock.nsecsElapsed();
            if (n == target) {
                t1 = clock.nsecsElapsed();
                w->Cmd[2]->click();
            }
        }
    } stop;
    stop.w = w;
    stop.target = target;
    READINGS::Subscribe(&stop);
    // The end notice is answered by its default button.
    QTimer watch;
    watch.setInterval(pollMs);
    QObject::connect(&watch, &QTimer::timeout, &AnswerBoxes);
    watch.start();
    stop.clock.start();
    w->Cmd[1]->click();   // returns when the run has ended
    if (stop.t0 < 0 || stop.t1 <= stop.t0) Fail("a time-interval run did not reach its readings");
    return {stop.n >= target ? target - 1 : 0, stop.t1 - stop.t0};
}

// main() of a benchmark that measures in the frame against one simulator
// started with `simArgs`.
inline int RunWithSimulator(int argc, char** argv, const QStringList& simArgs, const std::function<int()>& measure) {
    QTemporaryDir home;
    UsePrivateSettings(home);
    QApplication app(argc, argv);
    Sim sim = StartSim(simArgs);
    const int rc = MeasureInFrame(sim.device, measure);
    StopSim(sim);
    return rc;
}

}  // namespace BENCH
