#pragma once
// A spreadsheet held in memory, for tests only: workbooks of named sheets, an
// active cell the test can move, and switches that make the application
// missing or every call fail. The program itself never installs it.
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

#include "sheet.h"

namespace SHEET {

class MemorySheet : public Application {
public:
    // The text as written, and what an office makes of it (ContentOf).
    struct Cell {
        QString text;
        CellContent content;
    };
    struct Sheet {
        QString name;
        QMap<QPair<int, int>, Cell> cells;   // (row, column)
        int activeRow = 1;
        int activeColumn = 1;
        int topRow = 1;   // first visible row
    };
    struct Workbook {
        QVector<Sheet> sheets;
        int active = 0;
    };

    // Application operations.
    std::optional<int> WorkbooksCount() override;
    bool WorkbooksAdd() override;
    std::optional<int> WorksheetsCount() override;
    bool WorksheetsAdd() override;
    bool SetActiveSheetName(const QString& name) override;
    std::optional<QString> ActiveSheetName() override;
    bool SetCellValue(int row, int column, const QString& text) override;
    bool SelectCell(int row, int column) override;
    std::optional<std::pair<int, int>> ActiveCell() override;
    bool SmallScrollDown(int rows) override;
    bool SetScrollRow(int row) override;
    bool SetVisible(bool visible) override;

    // What the test sees and moves.
    QVector<Workbook> workbooks;
    int activeWorkbook = -1;
    bool visible = false;
    bool failing = false;        // every call fails while set
    int smallScrolls = 0;        // rows scrolled down in total
    int scrollRowSets = 0;       // SetScrollRow calls that succeeded

    Sheet* activeSheet();
    // Cell text of the active sheet ("" when never written).
    QString cell(int row, int column);
    // What the cell holds: number, time, text or empty.
    CellContent::Kind kind(int row, int column);
    // Moves the active cell of the active sheet as an operator's click would.
    void clickCell(int row, int column);
    void closeActiveWorkbook();
    // Rows 1..rows of the active sheet, columns 1..columns, joined by "|".
    QStringList rows(int rows, int columns);
};

// Attach finds `running` while it is set; Create makes a new one when
// `canCreate` is set. Counts tell the test which was used.
class MemoryProvider : public Provider {
public:
    std::shared_ptr<Application> Attach() override;
    std::shared_ptr<Application> Create() override;

    std::shared_ptr<MemorySheet> running;
    bool canCreate = true;
    int attaches = 0;
    int creates = 0;
    // The operator quits the application.
    void quit() { running.reset(); }
};

}  // namespace SHEET
