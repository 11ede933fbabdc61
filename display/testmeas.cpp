#include "testmeas.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include "commands.h"
#include "errors.h"
#include "frame.h"
#include "frm_disp.h"
#include "readings.h"
#include "rs_lib32.h"
#include "setup.h"

namespace TESTMEAS {

namespace {
// Clears the running flag however the loop is left.
struct RunningGuard {
    qint16& flag;
    ~RunningGuard() { flag = 0; }
};
}  // namespace

void RunTestMeasurement(qint16& testMeasRunning, qint16& testMeasStopRequest) {
    QStringList fields(2);
    // Running from the click on, not only once the setup is known: during the
    // setup query's wait the logging entries must stay shut (their own setup
    // query would take this loop's answers) and a second click must only ask
    // for the stop, which the first pass then honours.
    testMeasStopRequest = 0;
    testMeasRunning = -1;
    RunningGuard guard{testMeasRunning};
    SETTING::ReadInstrumentSetup();
    FRAME::Disp()->RefreshDisplay();
    const qint16 mode = SETTING::GetMeasMode();
    const qint16 comp = SETTING::GetInstrumentSetup().CompState;
    const READINGS::ActivityScope activity(
        {.kind = READINGS::Kind::TestMeasurement, .mode = mode, .comp = comp, .output = QString()});
    for (;;) {
        RS_LIB32::CommSend(QString::fromLatin1(CMD::MeasRes));
        RS_LIB32::CommReceive(fields);
        FRAME::Disp()->DisplayR(fields[0]);
        // The comparator's result comes with the resistance answer.
        READINGS::Reading reading{
            QTime::currentTime(), {fields[0], QString(), comp ? fields[1] : QString()}, mode, comp};
        if (mode == 1) {
            RS_LIB32::CommSend(QString::fromLatin1(CMD::MeasVolt));
            RS_LIB32::CommReceive(fields);
            FRAME::Disp()->DisplayV(fields[0]);
            reading.fields[1] = fields[0];
        }
        READINGS::Publish(reading);
        // New texts reach the screen and a stop click is taken here.
        QCoreApplication::processEvents();
        if (testMeasStopRequest) break;
    }
}

QString ErrorText(const std::exception& e, bool atLoad) {
    QString what;
    if (dynamic_cast<const NoResponseError*>(&e))
        what = QStringLiteral("There is not a response from the 5927.");
    else
        what = QStringLiteral("The answer of the 5927 could not be read (%1).")
                   .arg(QString::fromLocal8Bit(e.what()));
    if (atLoad)
        return what + QStringLiteral("\r\n\r\nThe measurement mode is not known; the display shows "
                                     "resistance only until a measurement reads the setup again.");
    return what + QStringLiteral("\r\n\r\nThe test measurement has stopped.");
}

}  // namespace TESTMEAS
