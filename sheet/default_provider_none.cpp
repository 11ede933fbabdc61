#include "sheet.h"

// Built when no spreadsheet component is available: nothing is ever found.
namespace SHEET {
namespace {
class NoProvider : public Provider {
public:
    std::shared_ptr<Application> Attach() override { return nullptr; }
    std::shared_ptr<Application> Create() override { return nullptr; }
};
}  // namespace

std::shared_ptr<Provider> MakeDefaultProvider() { return std::make_shared<NoProvider>(); }
}  // namespace SHEET
