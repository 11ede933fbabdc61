#include "frame.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include <QMessageBox>

#include "frm_disp.h"
#include "process.h"
#include "rs_lib32.h"

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

std::function<void()>& FatalBoxHook() {
    static std::function<void()> hook;
    return hook;
}

[[noreturn]] void FatalPortError() {
    if (FatalBoxHook())
        FatalBoxHook()();
    else
        QMessageBox::critical(nullptr, QStringLiteral("Comm Program"), QStringLiteral("Input Error!  Good bye!"));
    RS_LIB32::ProgramLink().CommClose();
    SETTING::EndProcess(1);
}

QMdiArea* Area() {
    if (gArea) return gArea;
    if (!gOwnArea) gOwnArea = new QMdiArea;
    return gOwnArea;
}
}  // namespace

void SetMainWindow(QWidget* mainWindow, QMdiArea* area) {
    EndOnPortLoss();
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

void EndOnPortLoss() {
    static bool watching = false;
    if (watching) return;
    watching = true;
    RS_LIB32::Link& link = RS_LIB32::ProgramLink();
    QObject::connect(&link, &RS_LIB32::Link::portLost, &link, [] { FatalPortError(); });
}

void SetFatalBoxHook(std::function<void()> hook) { FatalBoxHook() = std::move(hook); }

}  // namespace FRAME
