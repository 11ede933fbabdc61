#include "frm_single.h"

#include <QCloseEvent>
#include <QLabel>

#include "msgbox.h"
#include "settings.h"
#include "twips.h"

using namespace LOGGING;

namespace {
LoadingState& SingleState() {
    static LoadingState state;
    return state;
}
const LoadingStore kSingleStore{&SETTING::LoadSingleMeasFile,     &SETTING::SaveSingleMeasFile,
                                &SETTING::LoadSingleOutputMethod, &SETTING::SaveSingleOutputMethod,
                                &SETTING::LoadSinglePos,          &SETTING::SaveSinglePos,
                                &SETTING::SetFormSingleOpen};
}  // namespace

Frm_Single::Frm_Single(QWidget* parent) : LoadingForm(SingleState(), kSingleStore, parent) {
    setWindowTitle(QStringLiteral("Loading Measurement Data (by return key)"));
    QWidget* panel = Picture1[1];
    Lbl_Title = new QLabel(
        QStringLiteral("Pressing the return key or clicking \"Load\" starts the loading of the data."), panel);
    Lbl_Title->setWordWrap(true);
    TWIPS::Place(Lbl_Title, 675, 675, 3765, 540);
    Cmd_Trig = new QPushButton(QStringLiteral("Load"), panel);
    TWIPS::Place(Cmd_Trig, 1350, 1425, 2190, 390);
    Cmd_End = new QPushButton(QStringLiteral("Close"), panel);
    TWIPS::Place(Cmd_End, 3450, 2550, 1155, 405);
    Cmd_Trig->setAutoDefault(true);
    Cmd_End->setAutoDefault(true);
    SetDefaultButton(Cmd_Trig);
    setTabOrder(Cmd_Trig, Cmd_End);

    connect(Cmd_Ok, &QPushButton::clicked, this, &Frm_Single::Cmd_Ok_Click);
    connect(Cmd_Trig, &QPushButton::clicked, this, &Frm_Single::Cmd_Trig_Click);
    connect(Cmd_End, &QPushButton::clicked, this, &Frm_Single::Cmd_End_Click);
}

void Frm_Single::Form_Load() { LoadCommon(nullptr); }

void Frm_Single::Form_Unload(bool& cancel) {
    if (FlagMeasuring || busy_) {
        cancel = true;
        return;
    }
    if (FlagOutputMethod == 0) CloseCsv();
    StorePosition();
}

void Frm_Single::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel)
        event->ignore();
    else
        event->accept();
}

void Frm_Single::Cmd_Ok_Click() {
    if (busy_) return;
    busy_ = true;
    bool ok = QuerySetupForOk();
    if (ok) ok = FlagOutputMethod == 1 ? OpenExcelOutput() : OpenCsvOutput();
    busy_ = false;
    if (!ok) return;
    BeginActivity(READINGS::Kind::ReturnKey);
    Picture1[0]->setVisible(false);
    Picture1[1]->setVisible(true);
    Cmd_Trig->setFocus(Qt::OtherFocusReason);
}

void Frm_Single::Cmd_Trig_Click() {
    if (FlagMeasuring) return;
    FlagMeasuring = -1;
    Cmd_Trig->setEnabled(false);
    Cmd_End->setEnabled(false);
    SingleMeas();
    Cmd_Trig->setEnabled(true);
    Cmd_End->setEnabled(true);
    FlagMeasuring = 0;
    // Disabling dropped the focus; the return key must reach Load again.
    Cmd_Trig->setFocus(Qt::OtherFocusReason);
}

void Frm_Single::Cmd_End_Click() { CloseForm(this); }

void Frm_Single::SingleMeas() { Report(run_.Load(Sheet())); }
