#pragma once
// What the main window needs of the three logging windows.
#include <QTime>
#include <functional>

class QWidget;
class Frm_Time;
class Frm_Single;
class Frm_ExtIo;

namespace LOGGING {
// Create the window if needed and show it as an MDI child of the main window.
void MnuMeasTime_Click();
void MnuMeasSingle_Click();
void MnuMeasIo_Click();

// True while the external-I/O window runs its trigger loop; false when it
// was never opened.
bool AnsInExtIoMeasMode();

// The forms (their MDI subwindows) for Arrange and ShutdownApp; nullptr when
// the window does not exist.
QWidget* TimeForm();
QWidget* SingleForm();
QWidget* ExtIoForm();

// The window objects themselves (nullptr when not loaded); tests drive them.
Frm_Time* TimeWindow();
Frm_Single* SingleWindow();
Frm_ExtIo* ExtIoWindow();

// Replaces the CSV file dialog (benchmarks): returns the chosen name, or an
// empty text for a cancelled dialog. nullptr restores the dialog.
void SetFileChooser(std::function<QString(bool save)> chooser);

// The beep of the digit-only key filter (tests count it); nullptr restores it.
void SetBeepHook(std::function<void()> hook);
}  // namespace LOGGING
