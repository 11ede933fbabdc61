#pragma once
// The main window's ties to the logging windows. They default to the logging
// subsystem; tests put stand-in windows here to exercise Arrange and shutdown.
#include <QString>
#include <functional>

class QWidget;

namespace APP {

struct LoggingLinks {
    std::function<void()> openTime;
    std::function<void()> openSingle;
    std::function<void()> openExtIo;
    std::function<bool()> inExtIoMeasMode;
    std::function<QWidget*()> timeForm;
    std::function<QWidget*()> singleForm;
    std::function<QWidget*()> extIoForm;
};

LoggingLinks& Logging();
// Back to the logging subsystem's own windows.
void RestoreLoggingLinks();

}  // namespace APP
