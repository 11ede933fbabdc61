#pragma once
// Where the windows find each other: the main window registers itself here;
// the display window is created on first use and lives for the whole program.
#include <functional>

class QWidget;
class QMdiArea;
class QMdiSubWindow;
class Frm_Disp;

namespace FRAME {
void SetMainWindow(QWidget* mainWindow, QMdiArea* area);
QWidget* MainWindow();
QMdiArea* MdiArea();
// The display window, created (and loaded) if it does not exist yet.
Frm_Disp* Disp();
// Its subwindow (the form's frame, for twips geometry).
QMdiSubWindow* DispForm();
// The program's answer to a port that goes away: the critical "Input
// Error!  Good bye!" box, then the port closes and the process ends with 1.
// Watched from the first call on (the opening window, the main window).
void EndOnPortLoss();
// Replaces the box (tests, benchmarks); nullptr restores it.
void SetFatalBoxHook(std::function<void()> hook);
// Forget the display window (tests that rebuild the frame).
void ResetForTests();
}  // namespace FRAME
