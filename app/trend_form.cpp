#include "trend_form.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScreen>

#include "frame.h"
#include "settings.h"
#include "trend_window.h"
#include "twips.h"

namespace APP {

namespace {
QPointer<TrendWindow> gTrend;
QPointer<QMdiSubWindow> gTrendForm;
QPointer<QAction> gEntry;

void Store(QMdiSubWindow* form) {
    SETTING::SaveTrendGeometry(TWIPS::Top(form), TWIPS::Left(form), TWIPS::Width(form), TWIPS::Height(form));
}

// The operator's close keeps the window (hidden) and stores where it was.
class OnClose : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Close && watched == gTrendForm && gTrendForm->isVisible()) {
            Store(gTrendForm);
            if (gEntry) gEntry->setChecked(false);
        }
        return false;
    }
};

// Grows the main window until the area shows `wanted` (area coordinates),
// as far as the screen allows, moving it back onto the screen if it would
// reach past the edge.
void GrowMainToShow(const QRect& wanted) {
    auto* main = qobject_cast<QMainWindow*>(FRAME::MainWindow());
    QMdiArea* area = FRAME::MdiArea();
    if (!main || !area || main->isMaximized() || main->isFullScreen()) return;
    const QSize client = area->viewport()->size();
    const int dx = qMax(0, wanted.right() + 1 - client.width());
    const int dy = qMax(0, wanted.bottom() + 1 - client.height());
    if (!dx && !dy) return;
    QScreen* screen = main->screen() ? main->screen() : QGuiApplication::primaryScreen();
    const QRect frame = main->frameGeometry();
    const QSize decoration = frame.size() - main->size();
    QSize size = main->size() + QSize(dx, dy);
    QPoint topLeft = frame.topLeft();
    if (screen) {
        const QRect avail = screen->availableGeometry();
        size = size.boundedTo(avail.size() - decoration);
        if (topLeft.x() + size.width() + decoration.width() > avail.right() + 1)
            topLeft.setX(qMax(avail.left(), avail.right() + 1 - size.width() - decoration.width()));
        if (topLeft.y() + size.height() + decoration.height() > avail.bottom() + 1)
            topLeft.setY(qMax(avail.top(), avail.bottom() + 1 - size.height() - decoration.height()));
    }
    if (topLeft != frame.topLeft()) main->move(topLeft);
    main->resize(size);
}
}  // namespace

void ToggleTrend(QAction* entry) {
    gEntry = entry;
    if (gTrendForm && gTrendForm->isVisible()) {
        gTrendForm->close();
        return;
    }
    QMdiArea* area = FRAME::MdiArea();
    if (!area) return;   // no main window to hold it
    if (!gTrendForm) {
        gTrend = new TrendWindow;
        gTrendForm = area->addSubWindow(gTrend, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                    Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
        gTrendForm->setAttribute(Qt::WA_DeleteOnClose, false);
        gTrendForm->installEventFilter(new OnClose(gTrendForm));
    }
    qint32 top = 0, left = 0, width = 0, height = 0;
    SETTING::LoadTrendGeometry(top, left, width, height, TWIPS::Width(FRAME::DispForm()));
    TWIPS::SetTop(gTrendForm, top);
    TWIPS::SetLeft(gTrendForm, left);
    TWIPS::SetWidth(gTrendForm, width);
    TWIPS::SetHeight(gTrendForm, height);
    GrowMainToShow(gTrendForm->geometry());
    gTrendForm->show();
    gTrend->show();
    area->setActiveSubWindow(gTrendForm);
    if (gEntry) gEntry->setChecked(true);
}

QMdiSubWindow* TrendForm() { return gTrendForm && gTrendForm->isVisible() ? gTrendForm.data() : nullptr; }

TrendWindow* TrendWindowObject() { return gTrend; }

void SaveTrendGeometry() {
    if (QMdiSubWindow* form = TrendForm()) Store(form);
}

void ResetTrendForTests() {
    delete gTrendForm.data();
    gTrendForm = nullptr;
    gTrend = nullptr;
}

}  // namespace APP
