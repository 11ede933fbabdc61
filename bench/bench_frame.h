#pragma once
// The frame the logging benchmarks measure in: COM1 open on the simulator, a
// main window with its MDI area and the display window, and the measurement
// run from inside the event loop, as the program runs its windows.
#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMdiArea>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "bench_common.h"
#include "frame.h"
#include "frm_disp.h"
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

}  // namespace BENCH
