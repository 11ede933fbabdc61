#include "frm_single.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>

#include "msgbox.h"
#include "rs_lib32.h"
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
constexpr char kNoCellId[] = "Scan or type the cell ID first.";

// Text reaching the ID field another way (the context menu's Paste, a drop)
// is held to the same rule as keys.
class CellIdValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return ACQ::IsSafeCellId(input) ? Acceptable : Invalid;
    }
};

bool EditingKey(int key) {
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
        return true;
    default:
        return false;
    }
}
}  // namespace

Frm_Single::Frm_Single(QWidget* parent) : LoadingForm(SingleState(), kSingleStore, parent) {
    setWindowTitle(QStringLiteral("Loading Measurement Data (by return key)"));
    QWidget* setup = Picture1[0];
    Chk_CellIds = new QCheckBox(QStringLiteral("Cell &IDs"), setup);
    TWIPS::Place(Chk_CellIds, 225, 2445, 1900, 270);
    Chk_HandsFree = new QCheckBox(QStringLiteral("&Hands-free capture"), setup);
    TWIPS::Place(Chk_HandsFree, 225, 2745, 1950, 270);
    // Last in the tab order: the stops the window always had come first.
    setTabOrder(Cmd_File, Chk_CellIds);
    setTabOrder(Chk_CellIds, Chk_HandsFree);

    QWidget* panel = Picture1[1];
    Lbl_Title = new QLabel(
        QStringLiteral("Pressing the return key or clicking \"Load\" starts the loading of the data."), panel);
    Lbl_Title->setWordWrap(true);
    TWIPS::Place(Lbl_Title, 675, 675, 3765, 540);
    Cmd_Trig = new QPushButton(QStringLiteral("Load"), panel);
    TWIPS::Place(Cmd_Trig, 1350, 1425, 2190, 390);
    Cmd_End = new QPushButton(QStringLiteral("Close"), panel);
    TWIPS::Place(Cmd_End, 3450, 2550, 1155, 405);
    Lbl_CellId = new QLabel(QStringLiteral("Cell ID:"), panel);
    TWIPS::Place(Lbl_CellId, 300, 1995, 1000, 270);
    Txt_CellId = new QLineEdit(panel);
    TWIPS::Place(Txt_CellId, 1350, 1950, 2190, 300);
    Txt_CellId->setMaxLength(ACQ::kMaxCellId);
    Txt_CellId->setValidator(new CellIdValidator(Txt_CellId));
    Txt_CellId->installEventFilter(this);
    Lbl_CellId->setBuddy(Txt_CellId);
    Lbl_Status = new QLabel(panel);
    TWIPS::Place(Lbl_Status, 300, 2325, 3100, 240);
    for (QWidget* w : std::initializer_list<QWidget*>{Lbl_CellId, Txt_CellId, Lbl_Status}) w->setVisible(false);
    Cmd_Trig->setAutoDefault(true);
    Cmd_End->setAutoDefault(true);
    SetDefaultButton(Cmd_Trig);
    setTabOrder(Cmd_Trig, Cmd_End);
    setTabOrder(Cmd_End, Txt_CellId);

    connect(Cmd_Ok, &QPushButton::clicked, this, &Frm_Single::Cmd_Ok_Click);
    connect(Cmd_Trig, &QPushButton::clicked, this, &Frm_Single::Cmd_Trig_Click);
    connect(Cmd_End, &QPushButton::clicked, this, &Frm_Single::Cmd_End_Click);
    // Stored only when the operator changes them: an untouched window adds no key.
    connect(Chk_CellIds, &QCheckBox::clicked, this, [](bool on) { SETTING::SaveSingleCellIds(on); });
    connect(Chk_HandsFree, &QCheckBox::clicked, this, [](bool on) { SETTING::SaveSingleHandsFree(on); });
    connect(&run_, &ACQ::LoadRun::captureStatus, Lbl_Status, &QLabel::setText);
    connect(&run_, &ACQ::Run::readingTaken, this, [this](const ACQ::Sample& s) {
        if (cellIds_ && !s.cellId.isEmpty()) measured_.insert(s.cellId);
    });
}

void Frm_Single::Form_Load() {
    LoadCommon([this] {
        Chk_CellIds->setChecked(SETTING::LoadSingleCellIds());
        Chk_HandsFree->setChecked(SETTING::LoadSingleHandsFree());
    });
}

void Frm_Single::Form_Unload(bool& cancel) {
    if (FlagMeasuring || busy_ || inLoop_) {
        cancel = true;
        return;
    }
    if (FlagOutputMethod == 0) CloseCsv();
    StorePosition();
}

void Frm_Single::closeEvent(QCloseEvent* event) {
    // A close while capturing is taken as Close: the loop ends after its
    // reading and unloads the window itself.
    if (inLoop_ && !state_.FlagStop) Cmd_End_Click();
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel)
        event->ignore();
    else
        event->accept();
}

void Frm_Single::Cmd_Ok_Click() {
    if (busy_ || inLoop_) return;
    busy_ = true;
    cellIds_ = Chk_CellIds->isChecked();
    handsFree_ = Chk_HandsFree->isChecked();
    run_.SetCellIds(cellIds_);
    bool ok = QuerySetupForOk();
    if (ok) ok = FlagOutputMethod == 1 ? OpenExcelOutput() : OpenCsvOutput();
    busy_ = false;
    if (!ok) return;
    measured_.clear();
    // A file appended to may hold cells measured in earlier sessions.
    if (cellIds_ && FlagOutputMethod == 0)
        for (const QString& id : ACQ::CellIdsInLoadedFile(Txt_File->text(), RS_LIB32::ProgramLink().InstrumentSetup))
            measured_.insert(id);
    BeginActivity(READINGS::Kind::ReturnKey);
    Lbl_CellId->setVisible(cellIds_);
    Txt_CellId->setVisible(cellIds_);
    Txt_CellId->clear();
    Lbl_Title->setVisible(!handsFree_);
    Cmd_Trig->setVisible(!handsFree_);
    Lbl_Status->clear();
    Lbl_Status->setVisible(cellIds_ || handsFree_);
    if (handsFree_) TWIPS::Place(Lbl_Status, 675, 900, 3765, 390);
    Picture1[0]->setVisible(false);
    Picture1[1]->setVisible(true);
    FocusNext();
    if (handsFree_) HandsFree();
}

void Frm_Single::FocusNext() {
    if (cellIds_)
        Txt_CellId->setFocus(Qt::OtherFocusReason);
    else
        (handsFree_ ? Cmd_End : Cmd_Trig)->setFocus(Qt::OtherFocusReason);
}

bool Frm_Single::AdmitCell(const QString& id) {
    if (!cellIds_) return true;
    if (id.isEmpty() || !ACQ::IsSafeCellId(id)) {
        // A row nobody can trace to its cell is worth less than a second scan.
        Beep();
        Lbl_Status->setText(QString::fromLatin1(kNoCellId));
        return false;
    }
    if (measured_.contains(id) &&
        !MSG::AskYesNo(QStringLiteral("Cell %1 was measured already. Measure it again?").arg(id), false))
        return false;
    return true;
}

void Frm_Single::Cmd_Trig_Click() {
    if (FlagMeasuring || handsFree_) return;
    QString id;
    if (cellIds_) {
        id = Txt_CellId->text();
        const bool admitted = AdmitCell(id);
        // Emptied at once: the scanner may send the next cell during the reading.
        if (!id.isEmpty()) Txt_CellId->clear();
        if (!admitted) {
            FocusNext();
            return;
        }
    }
    FlagMeasuring = -1;
    Cmd_Trig->setEnabled(false);
    Cmd_End->setEnabled(false);
    const bool ok = Report(run_.Load(Sheet(), id));
    Cmd_Trig->setEnabled(true);
    Cmd_End->setEnabled(true);
    FlagMeasuring = 0;
    if (cellIds_) {
        if (ok) Lbl_Status->setText(QStringLiteral("Taken: %1").arg(id));
        // Nothing was written: the ID stays for another try.
        else if (Txt_CellId->text().isEmpty()) Txt_CellId->setText(id);
    }
    // Disabling dropped the focus; the return key must reach Load (or the ID field) again.
    FocusNext();
}

void Frm_Single::Cmd_End_Click() {
    if (!inLoop_) {
        CloseForm(this);
        return;
    }
    state_.FlagStop = -1;
    Cmd_End->setEnabled(false);
}

void Frm_Single::HandsFree() {
    inLoop_ = true;
    state_.FlagStop = 0;
    const ACQ::CaptureRule rule{SETTING::LoadCaptureCount(), SETTING::LoadCaptureTolerance() / 100.0};
    const ACQ::Outcome out = run_.CaptureLoop(
        Sheet(), state_.FlagStop, rule,
        [this] {
            if (!cellIds_) return QString();
            const QString id = Txt_CellId->text();
            Txt_CellId->clear();
            return id;
        },
        [this](const QString& id) { return AdmitCell(id); });
    if (FlagOutputMethod == 0) CloseCsv();
    inLoop_ = false;
    Report(out);
    CloseForm(this);
}

bool Frm_Single::IdAccepts(const QString& typed) const {
    QString next = Txt_CellId->text();
    const int at = Txt_CellId->hasSelectedText() ? Txt_CellId->selectionStart() : Txt_CellId->cursorPosition();
    next.replace(at, Txt_CellId->selectedText().size(), typed);
    return ACQ::IsSafeCellId(next);
}

bool Frm_Single::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Txt_CellId) return LoadingForm::eventFilter(watched, event);
    if (event->type() == QEvent::InputMethod) {
        const QString text = static_cast<QInputMethodEvent*>(event)->commitString();
        if (text.isEmpty() || IdAccepts(text)) return false;
        Beep();
        return true;
    }
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        // The scanner's suffix: the reading for the cell just scanned.
        Cmd_Trig_Click();
        return true;
    }
    if (key->matches(QKeySequence::Paste)) {
        if (IdAccepts(QGuiApplication::clipboard()->text())) return false;
        Beep();
        return true;
    }
    const Qt::KeyboardModifiers mods = key->modifiers();
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier)) return false;
    const QString text = key->text();
    if (text.isEmpty() || EditingKey(key->key())) return false;
    if (IdAccepts(text)) return false;
    Beep();
    return true;
}
