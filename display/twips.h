#pragma once
// Positions and sizes are kept in twips (1/1440 inch) and converted with the
// screen's logical DPI only where Qt is called. For an MDI child the form's
// geometry is that of its QMdiSubWindow (frame included).
class QWidget;

namespace TWIPS {
double DpiX();
double DpiY();
int ToPxX(double twips);
int ToPxY(double twips);
double FromPxX(int px);
double FromPxY(int px);

// Form geometry in twips (outer frame of the window or subwindow).
int Top(const QWidget* w);
int Left(const QWidget* w);
int Width(const QWidget* w);
int Height(const QWidget* w);
void SetTop(QWidget* w, double twips);
void SetLeft(QWidget* w, double twips);
void SetWidth(QWidget* w, double twips);
void SetHeight(QWidget* w, double twips);
// A control inside a container: left, top, width, height in twips.
void Place(QWidget* w, double left, double top, double width, double height);
}  // namespace TWIPS
