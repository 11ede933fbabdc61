#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
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

namespace {
// Stored geometry is applied as read; only what no window system can place
// (X11 coordinates are 16-bit) is held at the edge instead of wrapping round.
constexpr double kMaxPx = 32767;
int toPx(double twips, double dpi) {
    const double px = twips * dpi / kTwipsPerInch;
    if (std::isnan(px)) return 0;
    return int(std::lround(std::clamp(px, -kMaxPx, kMaxPx)));
}
}  // namespace

int ToPxX(double twips) { return toPx(twips, DpiX()); }
int ToPxY(double twips) { return toPx(twips, DpiY()); }
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
