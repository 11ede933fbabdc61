#include "sheet.h"

// The logger writes no spreadsheet. Defining the provider here means the
// linker never takes the office's implementation out of the sheet library,
// and with it none of the office's libraries.
namespace SHEET {
namespace {
class NoSheet : public Provider {
public:
    std::shared_ptr<Application> Attach() override { return nullptr; }
    std::shared_ptr<Application> Create() override { return nullptr; }
};
}  // namespace

std::shared_ptr<Provider> MakeDefaultProvider() { return std::make_shared<NoSheet>(); }
}  // namespace SHEET
