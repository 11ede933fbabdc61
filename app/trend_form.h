#pragma once
// The trend window as a child of the main window. It is made at its first
// opening and then only hidden by a close, so it goes on following the
// activity and shows all of it when opened again.
class QAction;
class QMdiSubWindow;
class TrendWindow;

namespace APP {
// Opens the window where it was last closed, or closes it. `entry` is the
// menu entry whose check mark follows the window.
void ToggleTrend(QAction* entry);
// The window's frame while it is open, else nullptr.
QMdiSubWindow* TrendForm();
TrendWindow* TrendWindowObject();
// Stores the position and size of an open window (shutdown).
void SaveTrendGeometry();
void ResetTrendForTests();
}  // namespace APP
