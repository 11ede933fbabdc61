#pragma once
// The test measurement: queries the instrument pass after pass and shows each
// reading on the display window, until a stop request is seen at the end of
// a pass. The flags belong to the main window; this is its loop.
#include <QString>
#include <QtGlobal>
#include <exception>

namespace TESTMEAS {

// Runs the loop until the stop request is seen. The running flag is true
// while passes run and false again on return, also when an error leaves
// (errors of the link and the setup query travel to the caller).
void RunTestMeasurement(qint16& testMeasRunning, qint16& testMeasStopRequest);

// The operator's message for an error that ended a test measurement or the
// setup query of the main window's load.
QString ErrorText(const std::exception& e, bool atLoad);

}  // namespace TESTMEAS
