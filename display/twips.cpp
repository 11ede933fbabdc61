#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace TWIPS {

namespace {
constexpr double kTwipsPerInch = 1440.0;

QScreen* screen() { return QGuiApplication::primaryScreen(); }
}  // namespace

double DpiX() {
    QScreen* s = screen();
    double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

double DpiY() {
    QScreen* s = screen();
    double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

int ToPxX(double twips) { return int(std::lround(twips * DpiX() / kTwipsPerInch)); }
int ToPxY(double twips) { return int(std::lround(twips * DpiY() / kTwipsPerInch)); }
double FromPxX(int px) { return px * kTwipsPerInch / DpiX(); }
double FromPxY(int px) { return px * kTwipsPerInch / DpiY(); }

// For a top-level window pos() is the outer frame's corner and size() the
// window itself; for a subwindow both are the subwindow's, frame included.
int Top(const QWidget* w) { return int(std::lround(FromPxY(w->y()))); }
int Left(const QWidget* w) { return int(std::lround(FromPxX(w->x()))); }
int Width(const QWidget* w) { return int(std::lround(FromPxX(w->width()))); }
int Height(const QWidget* w) { return int(std::lround(FromPxY(w->height()))); }

void SetTop(QWidget* w, double twips) { w->move(w->x(), ToPxY(twips)); }
void SetLeft(QWidget* w, double twips) { w->move(ToPxX(twips), w->y()); }
void SetWidth(QWidget* w, double twips) { w->resize(ToPxX(twips), w->height()); }
void SetHeight(QWidget* w, double twips) { w->resize(w->width(), ToPxY(twips)); }

void Place(QWidget* w, double left, double top, double width, double height) {
    w->setGeometry(ToPxX(left), ToPxY(top), ToPxX(width), ToPxY(height));
}

}  // namespace TWIPS
