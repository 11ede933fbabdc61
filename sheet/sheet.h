#pragma once
// The spreadsheet the "Microsoft Excel" output writes into. One interface,
// two implementations: LibreOffice Calc through UNO, and an in-memory one for tests.
// Rows and columns are 1-based. Every call reports failure by returning false
// (or an empty optional) instead of throwing.
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace SHEET {

// What a text written into a cell becomes: the same in every office and
// under every locale, because it is read here in the C locale and never
// parsed by the office. A number in the instrument's notation ("051.10E-3",
// "+12.500E+0") is a number; the over-range and no-measurement values
// (1.0000E+8, 1.0000E+9, with or without a sign) stay text, as the
// instrument sent them, so they cannot pass for readings; "HH:mm:ss" is a
// time of day; anything else is text exactly as given; "" empties the cell.
struct CellContent {
    enum Kind { Empty, Number, Time, Text } kind = Empty;
    double value = 0;   // Number: the value; Time: the fraction of the day
};
CellContent ContentOf(const QString& text);

class Application {
public:
    virtual ~Application() = default;
    virtual std::optional<int> WorkbooksCount() = 0;
    virtual bool WorkbooksAdd() = 0;           // new workbook, its sheet active
    virtual std::optional<int> WorksheetsCount() = 0;   // of the active workbook
    virtual bool WorksheetsAdd() = 0;          // new sheet in the active workbook, made active
    virtual bool SetActiveSheetName(const QString& name) = 0;   // fails on a name in use
    virtual std::optional<QString> ActiveSheetName() = 0;
    // Cells(row, column).Value = text on the active sheet, as ContentOf says.
    virtual bool SetCellValue(int row, int column, const QString& text) = 0;
    virtual bool SelectCell(int row, int column) = 0;
    // Active cell: top-left of the current selection.
    virtual std::optional<std::pair<int, int>> ActiveCell() = 0;
    virtual bool SmallScrollDown(int rows) = 0;
    virtual bool SetScrollRow(int row) = 0;
    virtual bool SetVisible(bool visible) = 0;

    // Whole rows. The defaults are made of the calls above; an office
    // overrides them to spare the line one call per cell.
    //
    // texts from (row, column) rightwards, each converted as ContentOf says;
    // then, when scrollDown, the view one row down (SmallScrollDown(1)).
    virtual bool SetRowValues(int row, int column, const QStringList& texts, bool scrollDown);
    // The same without waiting for it: it is written in order, before
    // whatever is asked of the application next, and its failure is not
    // reported (a run goes on without the sheet, as it does today).
    virtual void QueueRowValues(int row, int column, const QStringList& texts, bool scrollDown);
    // A loaded row: texts from the active cell rightwards, then the cell
    // below it selected. False when any step failed.
    virtual bool LoadRowAtActiveCell(const QStringList& texts, int prepared = 0);
    // Finds the active cell and the row of `columns` cells from it without
    // waiting, while the reading is taken; the ticket given to
    // LoadRowAtActiveCell then spares it that part. 0: nothing prepared.
    virtual int PrepareLoadRow(int columns);
};

// How the windows obtain the application: attach, else create (started=true), else nothing.
struct Obtained {
    std::shared_ptr<Application> app;   // null: none found and none could be started
    bool started = false;
};

class Provider {
public:
    virtual ~Provider() = default;
    virtual std::shared_ptr<Application> Attach() = 0;   // a running one, or null
    virtual std::shared_ptr<Application> Create() = 0;   // start one, or null
    // Waits until every row handed on (QueueRowValues) by its applications
    // is written, up to one call limit of the application; false when one
    // did not make it in time.
    virtual bool WaitForQueued() { return true; }
};

// The program's own provider: LibreOffice Calc where the UNO SDK was found at
// build time, else one that never finds an application.
std::shared_ptr<Provider> MakeDefaultProvider();

// The provider the program uses; tests install their own.
Provider& CurrentProvider();
void SetProvider(std::shared_ptr<Provider> provider);

// Attach, else create and note it was started here.
Obtained Obtain();

// The current provider's WaitForQueued, for the way out of the program: the
// rows the display has shown as logged reach the sheet before it ends. True
// at once when no provider was ever made.
bool WaitForQueued();

}  // namespace SHEET
