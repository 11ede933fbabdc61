#include "testmeas.h"

#include "errors.h"
#include "graded.h"
#include "rs_lib32.h"
#include "runs.h"

namespace TESTMEAS {

void RunTestMeasurement(qint16& testMeasRunning, qint16& testMeasStopRequest) {
    ACQ::TestRun run(RS_LIB32::ProgramLink());
    GRADED::ApplyActiveProfile(run);
    run.Start(testMeasRunning, testMeasStopRequest);
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
