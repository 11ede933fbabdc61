#pragma once
// The program's one orderly way out once the main window is up.
namespace SETTING {
// Closes the port, writes the window positions, then ends the process at
// once (through EndProcess), from inside whatever wait is running.
[[noreturn]] void ShutdownApp();
}  // namespace SETTING
