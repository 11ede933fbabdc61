#pragma once
// The two loading windows share their set-up panel (output choice, file
// name, OK/Cancel) and the row output: a CSV file opened for appending, or
// rows from the spreadsheet's active cell.
#include <QStringList>
#include <QtGlobal>
#include <memory>

#include "common.h"
#include "outputs.h"
#include "readings.h"
#include "runs.h"

class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace LOGGING {

// Fields that outlive one opening of a window (a window object keeps them
// across unload and load).
struct LoadingState {
    qint16 FlagOutputMethod = 0;
    qint16 file_no = 0;
    qint16 FlagMeasuring = 0;
    qint16 FlagStop = 0;
};

// Where a window keeps its choices.
struct LoadingStore {
    QString (*loadFile)();
    void (*saveFile)(const QString&);
    qint16 (*loadMethod)();
    void (*saveMethod)(qint16);
    void (*loadPos)(qint32&, qint32&, int);
    void (*savePos)(qint32, qint32);
    void (*setOpen)(bool);
};

class LoadingForm : public FormBase {
    Q_OBJECT
public:
    LoadingForm(LoadingState& state, const LoadingStore& store, QWidget* parent);
    ~LoadingForm() override;   // a window that is gone ends its activity

    // Picture1: 0 the set-up panel, 1 the panel shown after OK (Load, or the trigger wait)
    QWidget* Picture1[2] = {};
    QLabel* Label1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    // OpnMethod: 0 text file (CSV), 1 Microsoft Excel; the index is the output method
    QRadioButton* OpnMethod[2] = {};
    QLineEdit* Txt_File = nullptr;
    QPushButton* Cmd_File = nullptr;
    QPushButton* Cmd_Ok = nullptr;
    QPushButton* Cmd_Cancel = nullptr;
    QFileDialog* C_Dialog1 = nullptr;   // while it is shown

    qint16& FlagOutputMethod;
    qint16& file_no;
    qint16& FlagMeasuring;

    void OpnMethod_Click(int index);
    void Cmd_File_Click();
    void Cmd_Cancel_Click();

    // Returns the ok flag of the preparation.
    bool OpenCsvOutput();
    bool OpenExcelOutput();

protected:
    // Load steps shared by both windows; `beforeMethod` runs after the panels
    // are set and before the stored output method is applied.
    void LoadCommon(const std::function<void()>& beforeMethod);
    // After a good OK: the activity that lasts until the window unloads.
    void BeginActivity(READINGS::Kind kind);
    // Position and open flag at unload; the activity ends with it.
    void StorePosition();
    // Closes the CSV file of this window if one is open.
    void CloseCsv();
    // The office for the next row, found as before every row; false after
    // the message when there is none.
    bool SheetReady();
    // Shows the message an outcome of the run calls for; true when it went well.
    bool Report(const ACQ::Outcome& out);
    // The active grading profile for the run, then the setup query of OK;
    // false (after the message) on failure.
    bool QuerySetupForOk();
    // The sheet output, or null for a CSV file.
    ACQ::SheetLoad* Sheet() { return FlagOutputMethod == 1 ? &sheet_ : nullptr; }

    LoadingState& state_;
    const LoadingStore& store_;
    bool busy_ = false;   // a handler is inside a wait: the window must stay
    ACQ::LoadRun run_;
    ACQ::SheetLoad sheet_;
    std::unique_ptr<ACQ::CsvFile> csv_;   // the open file's output, from OK
};

}  // namespace LOGGING
