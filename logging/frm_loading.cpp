#include "frm_loading.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QRadioButton>

#include "errors.h"
#include "frame.h"
#include "graded.h"
#include "rs_lib32.h"
#include "msgbox.h"
#include "outfiles.h"
#include "sheet.h"
#include "twips.h"

namespace LOGGING {

namespace {
constexpr char kNoFileName[] = "There is not a file name.";
constexpr char kError[] = "The error occurred.";
}  // namespace

LoadingForm::LoadingForm(LoadingState& state, const LoadingStore& store, QWidget* parent)
    : FormBase(parent),
      FlagOutputMethod(state.FlagOutputMethod),
      file_no(state.file_no),
      FlagMeasuring(state.FlagMeasuring),
      state_(state),
      store_(store),
      run_(RS_LIB32::ProgramLink()) {
    QFont font(QString::fromLatin1(kFontFamily));
    font.setPointSizeF(8.25);
    setFont(font);
    setMinimumSize(TWIPS::ToPxX(4890), TWIPS::ToPxY(3090));

    for (int i = 0; i < 2; ++i) {
        Picture1[i] = new QWidget(this);
        TWIPS::Place(Picture1[i], 0, 0, 4890, 3090);
    }
    QWidget* setup = Picture1[0];
    Label1 = new QLabel(QStringLiteral("Please press OK, if setting completes.  "), setup);
    TWIPS::Place(Label1, 525, 150, 3840, 315);
    Frame1 = new QGroupBox(QStringLiteral("Output Source of Data"), setup);
    TWIPS::Place(Frame1, 225, 525, 4470, 1845);
    OpnMethod[1] = new QRadioButton(QStringLiteral("Microsoft Excel"), Frame1);
    TWIPS::Place(OpnMethod[1], 225, 300, 2295, 270);
    OpnMethod[0] = new QRadioButton(QStringLiteral("Text File(CSV Format)"), Frame1);
    TWIPS::Place(OpnMethod[0], 225, 675, 2730, 270);
    Txt_File = new QLineEdit(Frame1);
    TWIPS::Place(Txt_File, 225, 1050, 4065, 270);
    Cmd_File = new QPushButton(QStringLiteral("Set the File Name..."), Frame1);
    TWIPS::Place(Cmd_File, 2250, 1425, 2040, 315);
    Cmd_Ok = new QPushButton(QStringLiteral("OK"), setup);
    TWIPS::Place(Cmd_Ok, 2250, 2625, 990, 390);
    Cmd_Cancel = new QPushButton(QStringLiteral("Cancel"), setup);
    TWIPS::Place(Cmd_Cancel, 3675, 2625, 990, 390);
    for (QPushButton* b : {Cmd_File, Cmd_Ok, Cmd_Cancel}) b->setAutoDefault(true);

    setTabOrder(Cmd_Ok, Cmd_Cancel);
    setTabOrder(Cmd_Cancel, OpnMethod[1]);
    setTabOrder(OpnMethod[1], OpnMethod[0]);
    setTabOrder(OpnMethod[0], Txt_File);
    setTabOrder(Txt_File, Cmd_File);

    for (int i = 0; i < 2; ++i)
        connect(OpnMethod[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) OpnMethod_Click(i);
        });
    connect(Cmd_File, &QPushButton::clicked, this, &LoadingForm::Cmd_File_Click);
    connect(Cmd_Cancel, &QPushButton::clicked, this, &LoadingForm::Cmd_Cancel_Click);
    sheet_.officeStarted = [] { FocusMainWindow(); };

}

LoadingForm::~LoadingForm() = default;   // the run ends its activity

void LoadingForm::LoadCommon(const std::function<void()>& beforeMethod) {
    FRAME::Disp();
    QMdiSubWindow* sub = SubWindowOf(this);
    if (sub) {
        TWIPS::SetHeight(sub, 3510);
        TWIPS::SetWidth(sub, 4910);
    }
    for (QWidget* p : Picture1) p->move(0, 0);
    store_.setOpen(true);
    SetLoaded(true);
    qint32 top = 0, left = 0;
    store_.loadPos(top, left, TWIPS::Height(FRAME::DispForm()));
    if (sub) {
        TWIPS::SetTop(sub, top);
        TWIPS::SetLeft(sub, left);
    }
    Picture1[0]->setVisible(true);
    Picture1[1]->setVisible(false);
    if (beforeMethod) beforeMethod();
    const qint16 method = store_.loadMethod();
    QRadioButton* chosen = OpnMethod[method == 1 ? 1 : 0];
    if (chosen->isChecked())
        OpnMethod_Click(method == 1 ? 1 : 0);
    else
        chosen->setChecked(true);
    Txt_File->setText(store_.loadFile());
    // First in the set-up panel's tab order: space or Return presses OK.
    Cmd_Ok->setFocus(Qt::OtherFocusReason);
}

void LoadingForm::OpnMethod_Click(int index) {
    FlagOutputMethod = static_cast<qint16>(index == 1 ? 1 : 0);
    Txt_File->setEnabled(index != 1);
    Cmd_File->setEnabled(index != 1);
    store_.saveMethod(FlagOutputMethod);
}

void LoadingForm::Cmd_File_Click() {
    std::unique_ptr<QFileDialog> dialog(MakeCsvDialog(this, false));
    const QString current = Txt_File->text();
    if (!current.isEmpty()) dialog->setDirectory(QFileInfo(current).absolutePath());
    C_Dialog1 = dialog.get();
    const bool accepted = dialog->exec() == QDialog::Accepted;
    C_Dialog1 = nullptr;
    if (!accepted) return;
    const QStringList chosen = dialog->selectedFiles();
    if (chosen.isEmpty()) return;
    Txt_File->setText(chosen.first());
    store_.saveFile(Txt_File->text());
}

void LoadingForm::Cmd_Cancel_Click() { CloseForm(this); }

bool LoadingForm::OpenCsvOutput() {
    const QString name = Txt_File->text();
    if (name.isEmpty()) {
        MSG::Warn(QString::fromLatin1(kNoFileName));
        return false;
    }
    const int n = OUTFILES::FreeFile();
    if (!OUTFILES::OpenForAppend(n, name)) {
        MSG::Warn(QString::fromLatin1(kError));
        return false;
    }
    file_no = static_cast<qint16>(n);
    return true;
}

bool LoadingForm::OpenExcelOutput() {
    // A sheet added here gets its header now: with the run's added columns.
    sheet_.extraColumns = run_.ExtraColumns();
    try {
        sheet_.Ready(RS_LIB32::ProgramLink().InstrumentSetup);
    } catch (const ACQ::NoSpreadsheetError&) {
        MSG::Warn(QString::fromLatin1(kNoSpreadsheet));
        return false;
    }
    return true;
}

bool LoadingForm::Report(const ACQ::Outcome& out) {
    if (out.ending == ACQ::Ending::NoSpreadsheet) {
        MSG::Warn(QString::fromLatin1(kNoSpreadsheet));
        return false;
    }
    if (!out.ok()) {
        MSG::Warn(QString::fromLatin1(kError));
        return false;
    }
    return true;
}

void LoadingForm::BeginActivity(READINGS::Kind kind) {
    ACQ::Output* output = Sheet();
    if (!output) {
        csv_ = std::make_unique<ACQ::CsvFile>(file_no, Txt_File->text(), ACQ::CsvFile::Form::Loaded, false);
        output = csv_.get();
    }
    run_.ClearOutputs();
    run_.AddOutput(output);
    run_.BeginActivity(kind, *output);
}

bool LoadingForm::QuerySetupForOk() {
    // Grading is chosen at OK, before a new sheet gets its header.
    GRADED::ApplyActiveProfile(run_);
    try {
        run_.QuerySetup();
    } catch (const AppError& e) {
        if (dynamic_cast<const FieldOverflowError*>(&e)) ACQ::DiscardRestOfLine(RS_LIB32::ProgramLink());
        MSG::Warn(QString::fromLatin1(kError));
        return false;
    }
    return true;
}

void LoadingForm::StorePosition() {
    const QWidget* geo = SubWindowOf(this);
    if (!geo) geo = this;
    store_.savePos(TWIPS::Top(geo), TWIPS::Left(geo));
    store_.setOpen(false);
    SetLoaded(false);
    run_.End();
}

void LoadingForm::CloseCsv() {
    csv_.reset();
    const bool closed = !(file_no > 0 && OUTFILES::IsOpen(file_no)) || OUTFILES::Close(file_no);
    // The number may be handed to another window's file later.
    file_no = 0;
    // Rows that never reached the disk are a failed write like any other.
    if (!closed) MSG::Warn(QString::fromLatin1(kError));
}

}  // namespace LOGGING
