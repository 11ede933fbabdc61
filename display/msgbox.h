#pragma once
// Modal message boxes with the program's titles and icons.
#include <QMessageBox>
#include <QString>

namespace MSG {
inline constexpr char AppTitle[] = "ORVEN 5927 Application";

// Exclamation icon, OK button.
void Warn(const QString& text, const QString& title = AppTitle);
// No icon, OK button.
void Notice(const QString& text, const QString& title = AppTitle);
// No icon, Yes/No; returns true for Yes.
bool AskYesNo(const QString& text, bool yesIsDefault, const QString& title = AppTitle);
}  // namespace MSG
