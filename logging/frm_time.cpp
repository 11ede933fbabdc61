#include "frm_time.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QTimer>
#include <cmath>
#include <limits>

#include "frame.h"
#include "graded.h"
#include "logging.h"
#include "msgbox.h"
#include "outfiles.h"
#include "outputs.h"
#include "readings.h"
#include "rs_lib32.h"
#include "runs.h"
#include "settings.h"
#include "twips.h"

using namespace LOGGING;

namespace {
constexpr char kOutOfRange[] = "The numerical value is out of a range. ";
constexpr char kError[] = "The error occurred. ";
constexpr char kEnded[] = "Measurement ended.";
}  // namespace

Frm_Time::Frm_Time(QWidget* parent) : FormBase(parent) {
    setWindowTitle(QStringLiteral("Time Interval Measurement"));
    QFont font(QString::fromLatin1(kFontFamily));
    font.setPointSizeF(9.75);
    setFont(font);
    setFixedSize(TWIPS::ToPxX(4815), TWIPS::ToPxY(2190));

    const char* labels[5] = {"Time Interval", "(s)", "Range: 0 - 3600", "Measurement Number", "times"};
    const int labelPos[5][4] = {{600, 195, 1515, 240},
                                {2925, 195, 315, 240},
                                {3300, 195, 1515, 240},
                                {-75, 600, 2190, 240},
                                {2925, 645, 690, 240}};
    for (int i = 0; i < 5; ++i) {
        Label1[i] = new QLabel(QString::fromLatin1(labels[i]), this);
        TWIPS::Place(Label1[i], labelPos[i][0], labelPos[i][1], labelPos[i][2], labelPos[i][3]);
    }
    Label1[0]->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label1[3]->setAlignment(Qt::AlignRight | Qt::AlignTop);

    Text_Time = new QLineEdit(QStringLiteral("0"), this);
    Text_Time->setMaxLength(4);
    TWIPS::Place(Text_Time, 2175, 150, 690, 300);
    Text_Count = new QLineEdit(QStringLiteral("0"), this);
    Text_Count->setMaxLength(5);
    TWIPS::Place(Text_Count, 2175, 600, 690, 300);
    Text_Time->installEventFilter(this);
    Text_Count->installEventFilter(this);
    for (QLineEdit* box : {Text_Time, Text_Count}) KeepDigitsOnly(box);

    Frame1 = new QGroupBox(QStringLiteral("Output Source of Data"), this);
    TWIPS::Place(Frame1, 375, 975, 2745, 1020);
    OpnMethod[1] = new QRadioButton(QStringLiteral("Microsoft Excel"), Frame1);
    TWIPS::Place(OpnMethod[1], 225, 300, 1920, 270);
    OpnMethod[0] = new QRadioButton(QStringLiteral("Text File(CSV Format)"), Frame1);
    TWIPS::Place(OpnMethod[0], 225, 600, 2280, 270);
    OpnMethod[1]->setChecked(true);

    const char* captions[3] = {"Close", "Start", "Stop"};
    const int cmdTop[3] = {1575, 1050, 1275};
    for (int i = 0; i < 3; ++i) {
        Cmd[i] = new QPushButton(QString::fromLatin1(captions[i]), this);
        Cmd[i]->setAutoDefault(true);
        TWIPS::Place(Cmd[i], 3375, cmdTop[i], 1155, 405);
        connect(Cmd[i], &QPushButton::clicked, this, [this, i] { Cmd_Click(i); });
    }
    Cmd[2]->setVisible(false);
    SetDefaultButton(Cmd[1]);

    setTabOrder(Cmd[1], Cmd[0]);
    setTabOrder(Cmd[0], Text_Time);
    setTabOrder(Text_Time, Text_Count);
    setTabOrder(Text_Count, OpnMethod[1]);
    setTabOrder(OpnMethod[1], OpnMethod[0]);
    setTabOrder(OpnMethod[0], Cmd[2]);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    // A coarse timer may fire up to 5 % early: rows a second apart would share a time stamp.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &Frm_Time::Timer1_Timer);

}

Frm_Time::~Frm_Time() = default;

void Frm_Time::Form_Load() {
    FRAME::Disp();
    qint32 top = 0, left = 0;
    SETTING::LoadTimePos(top, left, TWIPS::Height(FRAME::DispForm()));
    if (QMdiSubWindow* sub = SubWindowOf(this)) {
        TWIPS::SetTop(sub, top);
        TWIPS::SetLeft(sub, left);
    }
    SETTING::SetFormTimeOpen(true);
    SetLoaded(true);
    Cmd[1]->setFocus(Qt::OtherFocusReason);   // first in the tab order
}

void Frm_Time::Form_Unload(bool& cancel) {
    if (FlagMeasuring) {
        cancel = true;
        return;
    }
    const QWidget* geo = SubWindowOf(this);
    if (!geo) geo = this;
    SETTING::SaveTimePos(TWIPS::Top(geo), TWIPS::Left(geo));
    SETTING::SetFormTimeOpen(false);
    SetLoaded(false);
}

void Frm_Time::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel)
        event->ignore();
    else
        event->accept();
}

bool Frm_Time::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Text_Time || watched == Text_Count) {
        if (event->type() == QEvent::KeyPress) return FilterDigitKey(static_cast<QKeyEvent*>(event));
        if (event->type() == QEvent::InputMethod)
            return FilterDigitInput(static_cast<QInputMethodEvent*>(event));
    }
    return FormBase::eventFilter(watched, event);
}

void Frm_Time::Cmd_Click(int index) {
    if (index == 0) {
        CloseForm(this);
        return;
    }
    if (index == 2) {
        FlagStop = -1;
        if (run_) run_->Wake();
        return;
    }
    MeasInterval = static_cast<float>(LeadingValue(Text_Time->text()));
    if (MeasInterval < 0 || MeasInterval > 3600) {
        MSG::Warn(QString::fromLatin1(kOutOfRange));
        return;
    }
    qint16 method = 1;
    qint16 fileNo = 0;
    if (OpnMethod[0]->isChecked()) {
        method = 0;
        fileNo = AnsSaveFileNumber();
        if (fileNo == -1) return;
    }
    FlagMeasuring = -1;
    SetMeasuringState(true);
    SetDefaultButton(Cmd[2]);
    // Start, which had the focus, is hidden now: Stop takes it, so Return stops the run.
    Cmd[2]->setFocus(Qt::OtherFocusReason);
    StartMeas(method, fileNo);
    FlagMeasuring = 0;
    SetMeasuringState(false);
    SetDefaultButton(Cmd[1]);
    Cmd[1]->setFocus(Qt::OtherFocusReason);
}

void Frm_Time::SetMeasuringState(bool m) {
    Cmd[0]->setVisible(!m);
    Cmd[1]->setVisible(!m);
    Cmd[2]->setVisible(m);
    Text_Time->setEnabled(!m);
    Text_Count->setEnabled(!m);
    OpnMethod[0]->setEnabled(!m);
    OpnMethod[1]->setEnabled(!m);
}

qint16 Frm_Time::AnsSaveFileNumber() {
    QStringList chosen;
    if (FileChooser()) {
        chosen << FileChooser()(true);
    } else {
        std::unique_ptr<QFileDialog> dialog(MakeCsvDialog(this, true));
        C_Dialog1 = dialog.get();
        const bool accepted = dialog->exec() == QDialog::Accepted;
        C_Dialog1 = nullptr;
        if (!accepted) return -1;
        chosen = dialog->selectedFiles();
    }
    if (chosen.isEmpty() || chosen.first().isEmpty()) return -1;
    outputFile_ = chosen.first();
    const int fileNo = OUTFILES::FreeFile();
    if (!OUTFILES::OpenForOutput(fileNo, chosen.first())) {
        // Starting silently would leave the operator believing a run had begun.
        MSG::Warn(QString::fromLatin1(kError));
        return -1;
    }
    return static_cast<qint16>(fileNo);
}

void Frm_Time::StartMeas(qint16& flagOutputMethod, qint16& fileNo) {
    const bool csv = flagOutputMethod == 0;
    const double countValue = LeadingValue(Text_Count->text());
    const qint64 count = static_cast<qint64>(std::nearbyint(countValue));
    ACQ::IntervalRun run(RS_LIB32::ProgramLink(), FlagStop, Timer1);
    GRADED::ApplyActiveProfile(run);
    ACQ::CsvFile file(fileNo, outputFile_, ACQ::CsvFile::Form::TimeStamped, true);
    ACQ::SheetRun sheet;
    ACQ::Output& output = csv ? static_cast<ACQ::Output&>(file) : sheet;
    // Only 1..32767 ends by count; 0, negative and larger counts run until Stop.
    ACQ::Published published({.kind = READINGS::Kind::TimeInterval,
                              .count = ACQ::IntervalRun::EndsByCount(count) ? count : 0,
                              .interval = MeasInterval},
                             &output);
    run.AddOutput(&output);
    run.AddOutput(&published);
    connect(&run, &ACQ::IntervalRun::started, this, [] { FocusMainWindow(); });
    connect(&run, &ACQ::Run::readingTaken, this, [this] { ++readings_; });
    run_ = &run;
    readings_ = 0;
    const ACQ::Outcome out = run.Start(MeasInterval, count);
    run_ = nullptr;
    if (out.ending == ACQ::Ending::NoSpreadsheet)
        MSG::Warn(QString::fromLatin1(kNoSpreadsheet));
    else if (!out.ok())
        MSG::Warn(QString::fromLatin1(kError));
    else
        MSG::Notice(QString::fromLatin1(kEnded));
}

void Frm_Time::Timer1_Timer() {
    if (run_) run_->Tick();
}
