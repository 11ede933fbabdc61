#include "memory_sheet.h"

namespace SHEET {

MemorySheet::Sheet* MemorySheet::activeSheet() {
    if (activeWorkbook < 0 || activeWorkbook >= workbooks.size()) return nullptr;
    Workbook& wb = workbooks[activeWorkbook];
    if (wb.active < 0 || wb.active >= wb.sheets.size()) return nullptr;
    return &wb.sheets[wb.active];
}

std::optional<int> MemorySheet::WorkbooksCount() {
    if (failing) return std::nullopt;
    return static_cast<int>(workbooks.size());
}

bool MemorySheet::WorkbooksAdd() {
    if (failing) return false;
    Workbook wb;
    Sheet s;
    s.name = QStringLiteral("Sheet1");
    wb.sheets.append(s);
    workbooks.append(wb);
    activeWorkbook = static_cast<int>(workbooks.size()) - 1;
    return true;
}

std::optional<int> MemorySheet::WorksheetsCount() {
    if (failing || activeWorkbook < 0 || activeWorkbook >= workbooks.size()) return std::nullopt;
    return static_cast<int>(workbooks[activeWorkbook].sheets.size());
}

bool MemorySheet::WorksheetsAdd() {
    if (failing || activeWorkbook < 0 || activeWorkbook >= workbooks.size()) return false;
    Workbook& wb = workbooks[activeWorkbook];
    // A default name not yet used in this workbook.
    QString name;
    for (int n = static_cast<int>(wb.sheets.size()) + 1;; ++n) {
        name = QStringLiteral("Sheet%1").arg(n);
        bool used = false;
        for (const Sheet& s : wb.sheets) used = used || s.name == name;
        if (!used) break;
    }
    Sheet s;
    s.name = name;
    wb.sheets.append(s);
    wb.active = static_cast<int>(wb.sheets.size()) - 1;
    return true;
}

bool MemorySheet::SetActiveSheetName(const QString& name) {
    Sheet* s = failing ? nullptr : activeSheet();
    if (!s || name.isEmpty()) return false;
    for (const Sheet& other : workbooks[activeWorkbook].sheets)
        if (&other != s && other.name == name) return false;
    s->name = name;
    return true;
}

std::optional<QString> MemorySheet::ActiveSheetName() {
    Sheet* s = failing ? nullptr : activeSheet();
    if (!s) return std::nullopt;
    return s->name;
}

bool MemorySheet::SetCellValue(int row, int column, const QString& text) {
    Sheet* s = failing ? nullptr : activeSheet();
    if (!s || row < 1 || column < 1) return false;
    if (text.isEmpty())
        s->cells.remove({row, column});
    else
        s->cells[{row, column}] = Cell{text, ContentOf(text)};
    return true;
}

bool MemorySheet::SelectCell(int row, int column) {
    Sheet* s = failing ? nullptr : activeSheet();
    if (!s || row < 1 || column < 1) return false;
    s->activeRow = row;
    s->activeColumn = column;
    return true;
}

std::optional<std::pair<int, int>> MemorySheet::ActiveCell() {
    Sheet* s = failing ? nullptr : activeSheet();
    if (!s) return std::nullopt;
    return std::make_pair(s->activeRow, s->activeColumn);
}

bool MemorySheet::SmallScrollDown(int rows) {
    Sheet* s = failing ? nullptr : activeSheet();
    if (!s) return false;
    s->topRow += rows;
    smallScrolls += rows;
    return true;
}

bool MemorySheet::SetScrollRow(int row) {
    Sheet* s = failing ? nullptr : activeSheet();
    if (!s || row < 1) return false;
    s->topRow = row;
    ++scrollRowSets;
    return true;
}

bool MemorySheet::SetVisible(bool v) {
    if (failing) return false;
    visible = v;
    return true;
}

QString MemorySheet::cell(int row, int column) {
    Sheet* s = activeSheet();
    return s ? s->cells.value({row, column}).text : QString();
}

CellContent::Kind MemorySheet::kind(int row, int column) {
    Sheet* s = activeSheet();
    return s ? s->cells.value({row, column}).content.kind : CellContent::Empty;
}

void MemorySheet::clickCell(int row, int column) {
    if (Sheet* s = activeSheet()) {
        s->activeRow = row;
        s->activeColumn = column;
    }
}

void MemorySheet::closeActiveWorkbook() {
    if (activeWorkbook < 0 || activeWorkbook >= workbooks.size()) return;
    workbooks.removeAt(activeWorkbook);
    activeWorkbook = static_cast<int>(workbooks.size()) - 1;
}

QStringList MemorySheet::rows(int rowCount, int columns) {
    QStringList out;
    for (int r = 1; r <= rowCount; ++r) {
        QStringList cols;
        for (int c = 1; c <= columns; ++c) cols << cell(r, c);
        out << cols.join(QLatin1Char('|'));
    }
    return out;
}

std::shared_ptr<Application> MemoryProvider::Attach() {
    ++attaches;
    return running;
}

std::shared_ptr<Application> MemoryProvider::Create() {
    ++creates;
    if (!canCreate) return nullptr;
    running = std::make_shared<MemorySheet>();
    return running;
}

}  // namespace SHEET
