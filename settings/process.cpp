#include "process.h"

#include "errors.h"
#include "outfiles.h"
#include "settings.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace SETTING {

namespace {
std::function<void(int)>& ender() {
    static std::function<void(int)> f;
    return f;
}
}  // namespace

void SetProcessEnder(std::function<void(int)> f) { ender() = std::move(f); }

void EndProcess(int code) {
    OUTFILES::CloseAll();
    SyncSettings();
    if (ender()) {
        ender()(code);
        throw ProcessEnded(code);
    }
    std::fflush(nullptr);
    // No destructors, no atexit: we may be deep inside a nested event loop.
    std::_Exit(code);
}

}  // namespace SETTING
