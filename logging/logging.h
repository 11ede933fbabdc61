#pragma once
// What the main window needs of the three logging windows.
class QWidget;

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
}  // namespace LOGGING
