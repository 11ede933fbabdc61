#include "sheet.h"

namespace SHEET {

bool Application::SetRowValues(int row, int column, const QStringList& texts, bool scrollDown) {
    bool ok = true;
    for (int k = 0; k < texts.size(); ++k) ok = SetCellValue(row, column + k, texts[k]) && ok;
    if (scrollDown) ok = SmallScrollDown(1) && ok;
    return ok;
}

void Application::QueueRowValues(int row, int column, const QStringList& texts, bool scrollDown) {
    SetRowValues(row, column, texts, scrollDown);
}

int Application::PrepareLoadRow(int) { return 0; }

bool Application::LoadRowAtActiveCell(const QStringList& texts, int) {
    const auto cell = ActiveCell();
    if (!cell) return false;
    const auto [row, column] = *cell;
    for (int k = 0; k < texts.size(); ++k)
        if (!SetCellValue(row, column + k, texts[k])) return false;
    return SelectCell(row + 1, column);
}

namespace {
std::shared_ptr<Provider>& Slot() {
    static std::shared_ptr<Provider> provider;
    return provider;
}
}  // namespace

Provider& CurrentProvider() {
    if (!Slot()) Slot() = MakeDefaultProvider();
    return *Slot();
}

void SetProvider(std::shared_ptr<Provider> provider) { Slot() = std::move(provider); }

Obtained Obtain() {
    Obtained o;
    o.app = CurrentProvider().Attach();
    if (!o.app) {
        o.app = CurrentProvider().Create();
        o.started = static_cast<bool>(o.app);
    }
    return o;
}

}  // namespace SHEET
