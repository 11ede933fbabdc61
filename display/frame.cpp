#include "frame.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include "frm_disp.h"

namespace FRAME {

namespace {
QPointer<QWidget> gMain;
QPointer<QMdiArea> gArea;
QPointer<QMdiArea> gOwnArea;   // only when no main window registered (tests)
QPointer<Frm_Disp> gDisp;
QPointer<QMdiSubWindow> gDispForm;

// The display window lives as long as the program: measuring loops write
// into it while they wait, so the operator's close is refused.
class RefuseClose : public QObject {
public:
    using QObject::QObject;
protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Close) {
            e->ignore();
            return true;
        }
        return false;
    }
};

QMdiArea* Area() {
    if (gArea) return gArea;
    if (!gOwnArea) gOwnArea = new QMdiArea;
    return gOwnArea;
}
}  // namespace

void SetMainWindow(QWidget* mainWindow, QMdiArea* area) {
    gMain = mainWindow;
    gArea = area;
}

QWidget* MainWindow() { return gMain; }
QMdiArea* MdiArea() { return gArea; }

Frm_Disp* Disp() {
    if (gDisp) return gDisp;
    auto* disp = new Frm_Disp;
    // Title only: no close, minimise or system-menu buttons.
    auto* sub = Area()->addSubWindow(disp, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->installEventFilter(new RefuseClose(sub));
    gDisp = disp;
    gDispForm = sub;
    sub->adjustSize();
    disp->Form_Load();
    sub->show();
    return gDisp;
}

QMdiSubWindow* DispForm() {
    if (!gDispForm) Disp();
    return gDispForm;
}

void ResetForTests() {
    if (gDispForm) delete gDispForm.data();
    gDisp = nullptr;
    gDispForm = nullptr;
    if (gOwnArea) delete gOwnArea.data();
    gMain = nullptr;
    gArea = nullptr;
}

}  // namespace FRAME
