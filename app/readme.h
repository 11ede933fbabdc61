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
// Starts the viewer on folder's readme without waiting; false when it
// cannot be started.
bool OpenReadmeIn(const QString& folder);
// The same for the program's own folder.
bool OpenReadme();
// OpenReadme, and "cannot open readme.txt" when that fails.
void ShowReadme();

}  // namespace APP
