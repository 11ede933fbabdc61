#include "outputs.h"

#include <limits>

#include "outfiles.h"
#include "sheet.h"

namespace ACQ {

Output::~Output() = default;

CsvFile::CsvFile(int fileNo, QString path, Form form, bool closes)
    : fileNo_(fileNo), path_(std::move(path)), form_(form), closes_(closes) {}

void CsvFile::Begin(const Setup& setup) {
    if (form_ == Form::TimeStamped) OUTFILES::PrintLine(fileNo_, CsvHeader(setup, extraColumns));
}

void CsvFile::Write(const Sample& sample) {
    OUTFILES::PrintLine(fileNo_, form_ == Form::TimeStamped ? CsvRow(sample, extraColumns)
                                                          : LoadedRow(sample, extraColumns));
}

void CsvFile::Finish() {
    if (!closes_) return;
    closes_ = false;
    // The last lines must be on the disk before the run says it ended well.
    if (!OUTFILES::Close(fileNo_)) throw AppError("the file could not be closed");
}

void CsvFile::Abort() {
    if (!closes_) return;
    closes_ = false;
    OUTFILES::Close(fileNo_);
}

int SheetRun::SheetNumber = 0;

void SheetRun::Begin(const Setup& setup) {
    SHEET::Obtained got = SHEET::Obtain();
    if (!got.app) throw NoSpreadsheetError();
    xl_ = got.app;
    if (got.started) xl_->SetVisible(true);
    const std::optional<int> books = xl_->WorkbooksCount();
    if (books && *books == 0) {
        xl_->WorkbooksAdd();
        SheetNumber = 0;
    } else {
        xl_->WorksheetsAdd();
    }
    xl_->SetActiveSheetName(QStringLiteral("Meas %1").arg(SheetNumber + 1));
    ++SheetNumber;
    const QStringList names = QStringList{QStringLiteral("Time")} + ColumnNames(setup, extraColumns);
    for (int i = 0; i < names.size(); ++i) xl_->SetCellValue(1, i + 1, names[i]);
    row_ = 2;
}

QString SheetRun::Name() const { return QStringLiteral("Meas %1").arg(SheetNumber); }

void SheetRun::Write(const Sample& sample) {
    if (!xl_ || row_ > std::numeric_limits<int>::max()) return;
    const int r = static_cast<int>(row_);
    const QString time = sample.time.toString(QStringLiteral("HH:mm:ss"));
    const QStringList& f = sample.fields;
    const QStringList cells = extraColumns ? QStringList{time} + RowCells(sample, true)
                                           : QStringList{time, f.value(0), f.value(1), f.value(2)};
    // Written while the next command goes out: the line, not the office, sets the pace.
    xl_->QueueRowValues(r, 1, cells, row_ > 15);
    ++row_;
}

void SheetRun::Finish() {
    if (xl_) xl_->SetScrollRow(1);
    xl_.reset();
}

void SheetRun::Abort() { Finish(); }

void SheetLoad::Ready(const Setup& setup) {
    SHEET::Obtained got = SHEET::Obtain();
    if (!got.app) throw NoSpreadsheetError();
    SHEET::Application& xl = *got.app;
    if (got.started) {
        xl.SetVisible(true);
        if (officeStarted) officeStarted();
    }
    bool added = false;
    const std::optional<int> books = xl.WorkbooksCount();
    if (books && *books == 0) {
        xl.WorkbooksAdd();
        added = true;
    } else {
        const std::optional<int> sheets = xl.WorksheetsCount();
        if (sheets && *sheets == 0) {
            xl.WorksheetsAdd();
            added = true;
        }
    }
    if (added) {
        const QStringList names = ColumnNames(setup, extraColumns);
        for (int i = 0; i < names.size(); ++i) xl.SetCellValue(1, i + 1, names[i]);
        xl.SelectCell(2, 1);
    }
    xl_ = SHEET::CurrentProvider().Attach();
    prepared_ = 0;
}

void SheetLoad::PrepareRow() { prepared_ = xl_ && !extraColumns ? xl_->PrepareLoadRow(3) : 0; }

void SheetLoad::Write(const Sample& sample) {
    if (!xl_) throw AppError("no spreadsheet application");
    const int prepared = prepared_;
    prepared_ = 0;
    const QStringList cells = extraColumns ? RowCells(sample, true) : sample.fields.mid(0, 3);
    if (!xl_->LoadRowAtActiveCell(cells, prepared)) throw AppError("row write failed");
}

QString SheetLoad::Name() const {
    const std::shared_ptr<SHEET::Application> xl = SHEET::CurrentProvider().Attach();
    const std::optional<QString> name = xl ? xl->ActiveSheetName() : std::nullopt;
    return name.value_or(QString());
}

void Published::Begin(const Setup& setup) {
    if (describes_) {
        activity_.output = describes_->Name();
        activity_.toSheet = describes_->ToSheet();
    }
    activity_.mode = setup.MeasMode;
    activity_.comp = setup.CompState;
    id_ = READINGS::StartActivity(activity_);
}

void Published::Write(const Sample& sample) { READINGS::Publish(ToPublished(sample)); }

void Published::End() {
    READINGS::EndActivity(id_);
    id_ = 0;
}

READINGS::Reading ToPublished(const Sample& s) {
    READINGS::Reading r{s.time, {s.resistance(), s.voltage(), s.comparator()}, s.setup.MeasMode, s.setup.CompState};
    r.grade = s.grade;
    r.cellId = s.cellId;
    return r;
}

}  // namespace ACQ
