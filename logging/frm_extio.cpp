#include "frm_extio.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>

#include "msgbox.h"
#include "settings.h"
#include "twips.h"

using namespace LOGGING;

namespace {
LoadingState& ExtIoState() {
    static LoadingState state;
    return state;
}
const LoadingStore kExtIoStore{&SETTING::LoadExtIoMeasFile,     &SETTING::SaveExtIoMeasFile,
                               &SETTING::LoadExtIoOutputMethod, &SETTING::SaveExtIoOutputMethod,
                               &SETTING::LoadExtIoPos,          &SETTING::SaveExtIoPos,
                               &SETTING::SetFormExtIoOpen};
constexpr char kWaiting[] = "Waiting for trigger....";
constexpr char kDetected[] = "Trigger was detected.";
}  // namespace

Frm_ExtIo::Frm_ExtIo(QWidget* parent)
    : LoadingForm(ExtIoState(), kExtIoStore, parent), FlagStop(ExtIoState().FlagStop) {
    setWindowTitle(QStringLiteral("Loading Measurement Data (by external I/O trigger)"));
    TWIPS::Place(Frame1, 185, 525, 4470, 1845);
    TWIPS::Place(Label1, 525, 150, 3915, 315);

    QWidget* panel = Picture1[1];
    Lbl_Title = new QLabel(QStringLiteral("When an input signal is changed from \"H\" to \"L\",  it loads "
                                          "measurement data into the PC."),
                           panel);
    Lbl_Title->setWordWrap(true);
    TWIPS::Place(Lbl_Title, 300, 375, 4365, 465);
    Lbl_End = new QLabel(QStringLiteral("Please re-input trigger to end this function."), panel);
    TWIPS::Place(Lbl_End, 600, 900, 3990, 240);
    Lbl_End->setVisible(false);
    Lbl_Trig = new QLabel(QString::fromLatin1(kWaiting), panel);
    TWIPS::Place(Lbl_Trig, 900, 1350, 2865, 240);
    Cmd_End = new QPushButton(QStringLiteral("Close"), panel);
    Cmd_End->setAutoDefault(true);
    TWIPS::Place(Cmd_End, 1800, 2175, 1155, 405);
    SetDefaultButton(Cmd_End);

    connect(Cmd_Ok, &QPushButton::clicked, this, &Frm_ExtIo::Cmd_Ok_Click);
    connect(&run_, &ACQ::LoadRun::waitingForTrigger, this,
            [this] { Lbl_Trig->setText(QString::fromLatin1(kWaiting)); });
    connect(&run_, &ACQ::LoadRun::triggerDetected, this,
            [this] { Lbl_Trig->setText(QString::fromLatin1(kDetected)); });
    connect(Cmd_End, &QPushButton::clicked, this, &Frm_ExtIo::Cmd_End_Click);
}

void Frm_ExtIo::Form_Load() {
    LoadCommon([this] { FlagMeasuring = 0; });
}

void Frm_ExtIo::Form_Unload(bool& cancel) {
    cancel = false;
    StorePosition();
}

void Frm_ExtIo::closeEvent(QCloseEvent* event) {
    // The frame's own close while the loop runs is taken as Close: the loop
    // ends at the next trigger and unloads the window itself. Destroying the
    // window now would leave the loop running against nothing.
    if (inLoop_ || busy_) {
        if (inLoop_ && !FlagStop) Cmd_End_Click();
        event->ignore();
        return;
    }
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel)
        event->ignore();
    else
        event->accept();
}

void Frm_ExtIo::Cmd_Ok_Click() {
    if (busy_ || inLoop_) return;
    busy_ = true;
    bool ok = QuerySetupForOk();
    if (ok) ok = FlagOutputMethod == 1 ? OpenExcelOutput() : OpenCsvOutput();
    busy_ = false;
    if (!ok) return;
    BeginActivity(READINGS::Kind::ExternalTrigger);
    Picture1[0]->setVisible(false);
    Picture1[1]->setVisible(true);
    Cmd_End->setFocus(Qt::OtherFocusReason);
    FlagMeasuring = -1;
    FlagStop = 0;
    ExtIoMeas();
    CloseForm(this);
}

void Frm_ExtIo::Cmd_End_Click() {
    FlagStop = -1;
    Lbl_Trig->setVisible(false);
    Lbl_Title->setVisible(false);
    Lbl_End->setVisible(true);
    Cmd_End->setEnabled(false);
}

void Frm_ExtIo::ExtIoMeas() {
    inLoop_ = true;
    const ACQ::Outcome out = run_.TriggerLoop(Sheet(), FlagStop);
    if (FlagOutputMethod == 0) CloseCsv();
    inLoop_ = false;
    Report(out);
}
