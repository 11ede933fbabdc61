#pragma once
// Where the rows of a run go. A run writes each reading to every output in
// turn; an output throws AppError when its row cannot be written.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "errors.h"
#include "reading.h"
#include "readings.h"

namespace SHEET {
class Application;
}

namespace ACQ {

// No spreadsheet application was found and none could be started.
struct NoSpreadsheetError : AppError {
    NoSpreadsheetError() : AppError("No spreadsheet application") {}
};

class Output {
public:
    virtual ~Output();
    // Before the first row of a run (header, new sheet).
    virtual void Begin(const Setup&) {}
    virtual void Write(const Sample& sample) = 0;
    // After the last row: throws when what was written is not safe.
    virtual void Finish() {}
    // After a failure: lets go of what it holds, never throws.
    virtual void Abort() {}
    // The file's path or the sheet's name, for those who follow the run.
    virtual QString Name() const { return {}; }
    virtual bool ToSheet() const { return false; }

    // Set by the run before Begin: rows carry the bin and cell ID columns.
    bool extraColumns = false;
};

// A CSV file of the output-file table (OUTFILES), already open. The
// time-stamped form writes the header at Begin and "HH:mm:ss,..." rows; the
// loaded form writes bare rows. The file is closed by Finish/Abort when
// `closes` (a run's own file), else it stays with its owner.
class CsvFile : public Output {
public:
    enum class Form { TimeStamped, Loaded };
    CsvFile(int fileNo, QString path, Form form, bool closes);
    void Begin(const Setup& setup) override;
    void Write(const Sample& sample) override;
    void Finish() override;
    void Abort() override;
    QString Name() const override { return path_; }
    int FileNo() const { return fileNo_; }

private:
    int fileNo_;
    QString path_;
    Form form_;
    bool closes_;
};

// Rows of a time-interval run on a new worksheet "Meas N" of the office:
// the header in row 1, then one row per reading, handed to the office while
// the next command goes out.
class SheetRun : public Output {
public:
    SheetRun() = default;
    // Obtains the office (starting one when none runs) and adds the sheet.
    void Begin(const Setup& setup) override;
    void Write(const Sample& sample) override;
    void Finish() override;
    void Abort() override;
    QString Name() const override;
    bool ToSheet() const override { return true; }
    // Names "Meas N" continue across runs for the life of the program.
    static int SheetNumber;

private:
    std::shared_ptr<SHEET::Application> xl_;
    qint64 row_ = 2;
};

// Loaded rows from the office's active cell. Ready() finds the office before
// every row (and at OK), adds a workbook or sheet with its header when there
// is none; a row is then written where the operator's cursor stands.
class SheetLoad : public Output {
public:
    // Called when Ready() had to start an office (the window takes the focus back).
    std::function<void()> officeStarted;
    // Throws NoSpreadsheetError.
    void Ready(const Setup& setup);
    // Lets the office find the row's cells while the instrument is asked.
    void PrepareRow();
    void Write(const Sample& sample) override;
    bool ToSheet() const override { return true; }
    QString Name() const override;

private:
    std::shared_ptr<SHEET::Application> xl_;
    int prepared_ = 0;
};

// Every reading to the readings observer (display, trend): the activity
// starts at Begin and ends at Finish/Abort.
class Published : public Output {
public:
    // `describes`: the output whose name and kind (file or sheet) the
    // activity shows, read at Begin.
    explicit Published(READINGS::Activity activity, const Output* describes = nullptr)
        : activity_(std::move(activity)), describes_(describes) {}
    void Describe(const Output* output) { describes_ = output; }
    void SetKind(READINGS::Kind kind) { activity_.kind = kind; }
    void SetProfile(std::optional<GRADING::Profile> profile) { activity_.profile = std::move(profile); }
    void Begin(const Setup& setup) override;
    void Write(const Sample& sample) override;
    void Finish() override { End(); }
    void Abort() override { End(); }
    void End();

private:
    READINGS::Activity activity_;
    const Output* describes_ = nullptr;
    quint64 id_ = 0;
};

// The published form of a sample: one meaning per field whatever the mode.
READINGS::Reading ToPublished(const Sample& sample);

}  // namespace ACQ
