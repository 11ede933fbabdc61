#include "sheet.h"

namespace SHEET {

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
