#include "logging.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include "frame.h"
#include "frm_extio.h"
#include "frm_single.h"
#include "frm_time.h"

namespace LOGGING {

namespace {
QPointer<Frm_Time> timeWindow;
QPointer<Frm_Single> singleWindow;
QPointer<Frm_ExtIo> extIoWindow;

std::function<void()>& BeepSlot() {
    static std::function<void()> hook;
    return hook;
}

// Shows an existing window or creates, loads and shows a new one.
template <class Form>
void Open(QPointer<Form>& slot) {
    if (slot && slot->Loaded()) {
        if (QMdiSubWindow* sub = SubWindowOf(slot)) {
            sub->show();
            FRAME::MdiArea()->setActiveSubWindow(sub);
        }
        return;
    }
    if (!FRAME::MdiArea()) return;   // no main window to hold it
    auto* form = new Form;
    slot = form;
    QMdiSubWindow* sub = FRAME::MdiArea()->addSubWindow(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    form->Form_Load();
    sub->show();
    form->show();
}

template <class Form>
QWidget* FormOf(const QPointer<Form>& slot) {
    if (!slot || !slot->Loaded()) return nullptr;
    return SubWindowOf(slot);
}
}  // namespace

void MnuMeasTime_Click() { Open(timeWindow); }
void MnuMeasSingle_Click() { Open(singleWindow); }
void MnuMeasIo_Click() { Open(extIoWindow); }

bool AnsInExtIoMeasMode() { return extIoWindow && extIoWindow->AnsInExtIoMeasMode(); }

QWidget* TimeForm() { return FormOf(timeWindow); }
QWidget* SingleForm() { return FormOf(singleWindow); }
QWidget* ExtIoForm() { return FormOf(extIoWindow); }

Frm_Time* TimeWindow() { return timeWindow && timeWindow->Loaded() ? timeWindow.data() : nullptr; }
Frm_Single* SingleWindow() { return singleWindow && singleWindow->Loaded() ? singleWindow.data() : nullptr; }
Frm_ExtIo* ExtIoWindow() { return extIoWindow && extIoWindow->Loaded() ? extIoWindow.data() : nullptr; }

namespace {
std::function<QString(bool)>& ChooserSlot() {
    static std::function<QString(bool)> chooser;
    return chooser;
}
}  // namespace

void SetFileChooser(std::function<QString(bool save)> chooser) { ChooserSlot() = std::move(chooser); }
const std::function<QString(bool)>& FileChooser() { return ChooserSlot(); }

void SetBeepHook(std::function<void()> hook) { BeepSlot() = std::move(hook); }

void Beep() {
    if (BeepSlot())
        BeepSlot()();
    else
        QApplication::beep();
}

}  // namespace LOGGING
