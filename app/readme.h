#pragma once
// The operators' readme next to the executable, shown in the desktop's viewer.
#include <QString>

namespace APP {

// folder + "readme.txt", with exactly one separator between them.
QString ReadmePath(const QString& folder);
// The program started with the readme's path as its only argument (no shell
// in between). "xdg-open" unless replaced; tests put their own program here.
void SetReadmeViewer(const QString& program);
QString ReadmeViewer();
// Starts the viewer without waiting; false when it cannot be started.
bool OpenReadme();
// OpenReadme, and "cannot open readme.txt" when that fails.
void ShowReadme();

}  // namespace APP
