#pragma once
// The one way the program ends at once: open output files are closed, settings
// synced, then the injectable ender runs. If the ender returns (tests), ProcessEnded is thrown.
#include <functional>

namespace SETTING {
[[noreturn]] void EndProcess(int code);
// Replaces the final step; pass nullptr to restore the real exit.
void SetProcessEnder(std::function<void(int)> ender);
}  // namespace SETTING
